// A program that only carries a version resource, for the engine's file
// version commands.
int main() {
  return 0;
}

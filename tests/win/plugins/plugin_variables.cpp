// A test plug-in that edits the variable store it gets, as its parameter
// text says (commands separated by ';'):
//   SET NAME=value   sets or adds NAME
//   REMOVE NAME      removes NAME
//   ECHO NAME        sets ECHO_NAME to NAME's value as received (empty when absent)
//   HUGE n           sets HUGE to n bytes of 'x'
//   DROPALL          answers the empty list: no variable at all
//   MALFORMED        answers text that is no well-formed list: an odd count
//                    of items, the last quote never closed
//   LENGTH n         the first call claims n bytes; the second writes as much
//                    of the result as fits in n, zero-terminated when shorter,
//                    else followed by a 'Z' in the buffer's last byte
// Every answer (but DROPALL and MALFORMED) also holds PLUGIN_PARAMETERS, the
// parameter text exactly as received, and PLUGIN_OWNER, TRUE when an owner
// window came with the call.
#include "tests/win/plugins/plugin_support.h"

namespace {

struct Answer {
  std::string text;
  long long claimed = -1;  // the length the first call states, -1: the true one
};

Answer Respond(HWND owner, const char* variables, const char* parameters) {
  test_plugins::Variables store(variables);
  Answer answer;
  bool dropAll = false;
  bool malformed = false;
  for (const auto& [word, rest] : test_plugins::Commands(parameters)) {
    if (word == "SET") {
      const std::size_t equals = rest.find('=');
      store.Set(rest.substr(0, equals), equals == std::string::npos ? "" : rest.substr(equals + 1));
    } else if (word == "REMOVE") {
      store.Remove(rest);
    } else if (word == "ECHO") {
      const std::string* value = store.Find(rest);
      store.Set("ECHO_" + rest, value == nullptr ? std::string() : *value);
    } else if (word == "HUGE") {
      store.Set("HUGE", std::string(static_cast<std::size_t>(test_plugins::Number(rest)), 'x'));
    } else if (word == "DROPALL") {
      dropAll = true;
    } else if (word == "MALFORMED") {
      malformed = true;
    } else if (word == "LENGTH") {
      answer.claimed = test_plugins::Number(rest);
    }
  }
  store.Set("PLUGIN_PARAMETERS", parameters == nullptr ? "" : parameters);
  store.Set("PLUGIN_OWNER", owner != nullptr ? "TRUE" : "FALSE");
  answer.text = store.Text();
  if (dropAll) answer.text.clear();
  if (malformed) answer.text = "PLUGIN_MALFORMED,1,\"unbalanced\"\"quote,ODD";
  return answer;
}

}  // namespace

std::int32_t __stdcall RunTimeExecute(HWND owner, const char* variables, const char* parameters,
                                      test_plugins::ProgressCallback, std::int32_t*, char* buffer) {
  const Answer answer = Respond(owner, variables, parameters);
  if (answer.claimed < 0) return test_plugins::Deliver(answer.text, buffer);
  const auto claimed = static_cast<std::size_t>(answer.claimed);
  if (buffer != nullptr) {
    const std::size_t written = std::min(answer.text.size(), claimed);
    std::memcpy(buffer, answer.text.data(), written);
    // Cut short, it leaves even the buffer's last byte without a terminator:
    // the engine must stop at the length it was told.
    buffer[written] = written < claimed ? '\0' : 'Z';
  }
  return static_cast<std::int32_t>(answer.claimed);
}

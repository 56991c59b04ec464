// Resource identifiers of the engine program.
#pragma once

#define kMainIcon 1

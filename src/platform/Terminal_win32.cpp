#include "platform/Terminal.h"

#include <io.h>
#include <stdio.h>

namespace platform {

bool StandardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

}  // namespace platform

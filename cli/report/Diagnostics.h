#pragma once
// How the command line shows what the compiler and the warnings pass found:
// warnings always as GNU-style lines (FILE:LINE:COL: warning: TEXT), which
// editors and IDEs can jump to; compile faults as the plug-in's message box
// shows them, or under --format gnu in the same style as the warnings
// (FILE:LINE:COL: error: TEXT), with the quote made readable.

#include <string>
#include <vector>

#include "mml/Compile.h"
#include "mml/Warnings.h"
#include "options/Options.h"

namespace cli {

// "FILE:LINE:COL: SEVERITY: TEXT\n"; the column is left out when it is 0,
// the line too when it is 0 (a remark about the whole file).
std::string GnuLine(const std::string& file, int32_t line, int32_t column, const char* severity,
                    const std::string& text);

// The fault as the chosen format shows it, its line end included.
std::string ShowFault(const Tarsel::CompileFault& fault, const std::string& file,
                      const DiagnosticOptions& options);

// One line per warning.
std::string ShowWarnings(const std::vector<Tarsel::Warning>& warnings, const std::string& file);

// One error line per use of an extension, merged in source order with one
// warning line per warning.
std::string ShowPlainDialect(const std::vector<Tarsel::PlainDialectFault>& faults,
                             const std::vector<Tarsel::Warning>& warnings, const std::string& file);

}  // namespace cli

#include "report/Diagnostics.h"

namespace cli {

std::string GnuLine(const std::string& file, int32_t line, int32_t column, const char* severity,
                    const std::string& text) {
    std::string shown = file;
    if (line > 0) {
        shown += ":" + std::to_string(line);
        if (column > 0) shown += ":" + std::to_string(column);
    }
    return shown + ": " + severity + ": " + text + "\n";
}

std::string ShowFault(const Tarsel::CompileFault& fault, const std::string& file,
                      const DiagnosticOptions& options) {
    if (options.format == DiagnosticOptions::Format::kPlugin) return fault.message;
    return GnuLine(file, fault.line, fault.column, "error", fault.readable);
}

std::string ShowWarnings(const std::vector<Tarsel::Warning>& warnings, const std::string& file) {
    std::string shown;
    for (const Tarsel::Warning& warning : warnings) {
        shown += GnuLine(file, warning.line, warning.column, "warning", warning.text);
    }
    return shown;
}

}  // namespace cli

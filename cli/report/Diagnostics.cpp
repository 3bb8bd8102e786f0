#include "report/Diagnostics.h"

#include <tuple>

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

std::string ShowPlainDialect(const std::vector<Tarsel::PlainDialectFault>& faults,
                             const std::vector<Tarsel::Warning>& warnings,
                             const std::string& file) {
    std::string shown;
    auto warning = warnings.begin();
    for (const Tarsel::PlainDialectFault& fault : faults) {
        for (; warning != warnings.end() &&
               std::tie(warning->line, warning->column) <= std::tie(fault.line, fault.column);
             ++warning) {
            shown += GnuLine(file, warning->line, warning->column, "warning", warning->text);
        }
        shown += GnuLine(file, fault.line, fault.column, "error", fault.text);
    }
    for (; warning != warnings.end(); ++warning) {
        shown += GnuLine(file, warning->line, warning->column, "warning", warning->text);
    }
    return shown;
}

}  // namespace cli

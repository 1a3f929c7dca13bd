#include "msi/worker_progress.h"

#include "script/variables.h"

namespace velmora::msi {
namespace {

std::int64_t number(const TVariableManager& vars, const char* name) {
    try {
        return std::stoll(vars.FetchValue(name));
    } catch (...) {
        return 0;
    }
}

} // namespace

void SetWorkerProgress(TVariableManager& vars, const std::string& text, std::int64_t minimum, std::int64_t maximum,
                       std::int64_t position) {
    std::string shown = text;
    if (text == "$QORV$") {
        shown = vars.FetchValue("QORV_thProgressText");
        position = number(vars, "QORV_thProgress");
        maximum = number(vars, "QORV_thMax");
        minimum = number(vars, "QORV_thMin");
    }
    if (position != -1) {
        vars.StoreValue("QORV_thMax", std::to_string(maximum));
        vars.StoreValue("QORV_thMin", std::to_string(minimum));
        vars.StoreValue("QORV_thProgress", std::to_string(position));
    }
    if (shown != "$IGNORE$") vars.StoreValue("QORV_thProgressText", shown);
}

bool PublishProgress(TVariableManager& vars, const std::string& text, std::int64_t minimum, std::int64_t total,
                     std::int64_t position) {
    vars.StoreValue("QORV_thProgress", std::to_string(position));
    vars.StoreValue("QORV_thMax", std::to_string(total));
    vars.StoreValue("QORV_thMin", std::to_string(minimum));
    vars.StoreValue("QORV_thProgressText", text);
    return vars.FetchValue("QORV_thCancelled") == "FALSE";
}

} // namespace velmora::msi

// The load-once, look-up-once rules of LazyLibrary.
#include "msi/msi_library.h"

namespace velmora::msi {

LazyLibrary::LazyLibrary(std::string name, Loader load, Resolver resolve)
    : name_(std::move(name)), load_(std::move(load)), resolve_(std::move(resolve)) {}

void* LazyLibrary::function(const std::string& name) {
    std::lock_guard guard(lock_);
    if (const auto found = functions_.find(name); found != functions_.end()) return found->second;
    if (!module_) module_ = load_(name_);
    if (!module_) throw LibraryNotFound(name_);
    void* address = resolve_(module_, name);
    if (!address) throw FunctionNotFound(name_, name);
    functions_.emplace(name, address);
    return address;
}

} // namespace velmora::msi

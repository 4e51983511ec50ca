// A process-wide record that is built on first use and never destroyed.
#pragma once

#include <utility>

namespace Vantor_cfgmgr::detail {

// Values may be released by static destructors of other libraries or by
// threads still running at exit; the record they need must outlive them all,
// so its destructor is never run (the process gives the memory back).
template <class T>
class Immortal {
public:
    template <class... Args>
    explicit Immortal(Args&&... args) : value_(std::forward<Args>(args)...)
    {
    }
    Immortal(const Immortal&) = delete;
    Immortal& operator=(const Immortal&) = delete;
    ~Immortal() {}
    T& Get() { return value_; }

private:
    union {
        T value_;
    };
};

} // namespace Vantor_cfgmgr::detail

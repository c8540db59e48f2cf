#pragma once

#include <optional>
#include <string>
#include <utility>

namespace kestrin {

/// Why something failed: the system's error number where the system said why, and
/// words of our own where it did not ("unexpected end of compressed data") or where
/// they say more. Every layer of the engine hands its failures up as one of these.
struct Fault {
    /// An errno value; 0 when the failure is none of the system's.
    int systemError = 0;
    std::string detail{};

    /// What to tell the user: the detail, else the system's text for the error.
    std::string Reason() const;
};

/// Nothing, or the fault that stopped it.
using Status = std::optional<Fault>;

/// A value, or the fault that kept it from being made.
template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : value_(std::move(value)) {}
    Result(Fault fault) : fault_(std::move(fault)) {}

    explicit operator bool() const { return value_.has_value(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    const Fault& Failure() const { return fault_; }

  private:
    std::optional<T> value_;
    Fault fault_;
};

/// The fault of errno `error`, with words of our own when given.
inline Fault SystemFault(int error, std::string detail = {}) {
    return Fault{error, std::move(detail)};
}

}  // namespace kestrin

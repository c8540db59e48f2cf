#pragma once

#include <optional>
#include <string>
#include <utility>

namespace kestrin {

/// What kind of fault ended a piece of work.
enum class FaultKind {
    Failure,    // the system, a decoder or a limit said no
    Malformed,  // the bytes are not what they must be (a report's line that is no entry)
    Limit,      // a limit of the tally was passed (a URL or a table too large)
    NotFound,   // a file named is not there, or is no ordinary file
    Stop,       // the run was asked to stop: no failure, but it ends the work as one does
};

/// Why something failed: the system's error number where the system said why, and
/// words of our own where it did not ("unexpected end of compressed data") or where
/// they say more. Every layer of the engine hands its failures up as one of these,
/// a stop included, so that a loop that is told to stop ends by the road a read
/// error takes.
struct Fault {
    /// An errno value; 0 when the failure is none of the system's.
    int systemError = 0;
    std::string detail{};
    FaultKind kind = FaultKind::Failure;
    /// The file the fault came from, where the layer that met it knows (a log, a
    /// report to merge); empty otherwise.
    std::string subject{};

    /// What to tell the user: the detail, else the system's text for the error.
    std::string Reason() const;
    bool IsStop() const { return kind == FaultKind::Stop; }
};

/// The fault of a run asked to stop.
inline Fault StopFault() {
    return Fault{.detail = "stopped", .kind = FaultKind::Stop};
}

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

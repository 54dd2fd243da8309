// The outcome of a step of srpack: success, or the sentence that tells the user what failed.
#pragma once
#include <string>
#include <utility>

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // the command was understood but could not be carried out
constexpr int kExitUsage = 2;    // the command line was wrong, or the command is not available

struct Status {
    int exitCode = kExitSuccess;
    std::wstring message;  // an English sentence; empty on success

    bool Ok() const { return exitCode == kExitSuccess; }
};

inline Status Success() { return Status(); }
inline Status Failure(std::wstring message) { return Status{kExitFailure, std::move(message)}; }
inline Status UsageError(std::wstring message) { return Status{kExitUsage, std::move(message)}; }

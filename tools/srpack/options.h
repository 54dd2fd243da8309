// The options of one srpack command: "--name value" (or "--name=value") pairs and flags.
#pragma once
#include <initializer_list>
#include <map>
#include <string>

#include "tools/srpack/status.h"

class Options {
public:
    // Reads arguments[0..count): each must be one of the valued options, followed by its
    // value, or one of the flags. The command names the options in messages.
    Status Parse(const wchar_t* command, int count, wchar_t** arguments,
                 std::initializer_list<const wchar_t*> valued, std::initializer_list<const wchar_t*> flags = {});

    bool Has(const wchar_t* name) const { return m_values.count(name) != 0; }
    // The value given, or an empty text when the option is absent.
    const std::wstring& Value(const wchar_t* name) const;
    // A usage error unless the option was given with a value that is not empty.
    Status Require(const wchar_t* name) const;

private:
    std::map<std::wstring, std::wstring> m_values;
};

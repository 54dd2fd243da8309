// Parsing the options of a command.
#include "tools/srpack/options.h"

namespace {

bool Listed(std::initializer_list<const wchar_t*> names, const std::wstring& name) {
    for (const wchar_t* n : names) {
        if (name == n) return true;
    }
    return false;
}

}  // namespace

Status Options::Parse(const wchar_t* command, int count, wchar_t** arguments,
                      std::initializer_list<const wchar_t*> valued, std::initializer_list<const wchar_t*> flags) {
    m_values.clear();
    for (int i = 0; i < count; ++i) {
        std::wstring name = arguments[i];
        std::wstring value;
        bool inlineValue = false;
        size_t equals = name.find(L'=');
        if (name.compare(0, 2, L"--") == 0 && equals != std::wstring::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            inlineValue = true;
        }
        if (name.compare(0, 2, L"--") != 0) {
            return UsageError(L"\"" + name + L"\" is not an option of srpack " + command + L"; options begin with --.");
        }
        if (m_values.count(name)) return UsageError(name + L" is given twice.");
        if (Listed(valued, name)) {
            if (!inlineValue) {
                if (i + 1 >= count) return UsageError(name + L" needs a value.");
                value = arguments[++i];
            }
        } else if (Listed(flags, name)) {
            if (inlineValue) return UsageError(name + L" takes no value.");
        } else {
            return UsageError(L"srpack " + std::wstring(command) + L" has no option " + name + L".");
        }
        m_values[name] = value;
    }
    return Success();
}

const std::wstring& Options::Value(const wchar_t* name) const {
    static const std::wstring kNone;
    auto it = m_values.find(name);
    return it == m_values.end() ? kNone : it->second;
}

Status Options::Require(const wchar_t* name) const {
    if (Value(name).empty()) return UsageError(std::wstring(name) + L" is required.");
    return Success();
}

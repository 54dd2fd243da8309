// The component types of the update list: the code of each TYPE tag and its display name.
#pragma once

enum ComponentType {
    UNKNOWN_DRIVE = 0,
    SME_DRIVE = 1,          // code-table driver
    SKIN_DRIVE = 2,         // skin (interface) driver
    IME_MAIN = 3,           // the IME module
    IMEGENCAB = 4,          // generator cabinet
    UPDATE = 5,             // generator update
    CONFIG_DRIVE = 6,       // configuration program
    INSTALLBASE_DRIVE = 7,  // installer and uninstaller
};

// The code of a TYPE tag, compared without regard to case; 0 for any other text.
int ComponentTypeFromTag(const wchar_t* tag);
// The display name of a code, in one static buffer valid until the next call.
const wchar_t* ComponentTypeName(int type);

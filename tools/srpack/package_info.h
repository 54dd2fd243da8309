// The package record "InstallInfo.dif": filling it from the options of "srpack info" and
// checking one that a build is given.
#pragma once
#include <string>

#include "payload/records.h"
#include "tools/srpack/options.h"
#include "tools/srpack/status.h"

// One text field of the record and the option that sets it.
struct RecordText {
    const wchar_t* option;
    const wchar_t* label;    // how messages about a given InstallInfo.dif name the field
    size_t offset;           // in bytes from the start of the record
    size_t capacity;         // in UTF-16 units, the terminating zero included
    bool required;
};

// Every text field in the order of the record.
extern const RecordText kRecordTexts[9];

wchar_t* TextOf(PACKAGECONFIG& record, const RecordText& field);
const wchar_t* TextOf(const PACKAGECONFIG& record, const RecordText& field);

// Fills a zeroed record from options already parsed; refuses a text that does not fit.
Status FillPackageRecord(const Options& options, PACKAGECONFIG& record);

// Checks a record read from a content folder: every text terminated inside its field and
// a usable package name.
Status CheckPackageRecord(const PACKAGECONFIG& record);

// srpack info: parses its arguments and writes the record.
Status RunInfo(int count, wchar_t** arguments);

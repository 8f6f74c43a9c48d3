#pragma once

#include <QString>

// Names that come from outside (the page's token and user id, rows of the
// status table, the settings file) become file names in the record
// directory. They are checked here, and recordings are deleted only here.
namespace recordname
{
constexpr int kMaxComponentLength = 128;
constexpr int kMaxFileNameLength = 255; // what common file systems allow

// One plain part of a recording's file name: not empty, not "." or "..", no
// path separator, drive or stream colon, NUL or other control character, at
// most kMaxComponentLength characters, and not the "undefined" or "null" that
// a page sends for a field it left out. Letters of any script, digits, '-',
// '_' and '.' are fine.
bool isPlainFileNameComponent(const QString &text);

// A whole file name inside one directory: the same rules, a longer limit, and
// "undefined"/"null" allowed (they cannot name another directory).
bool isPlainFileName(const QString &name);

// `text` for a log line: control characters escaped, cut to a readable length.
QString forLog(const QString &text);

// Deletes `fileName` from `recordDir` when it is a regular file directly
// inside it (symbolic links and anything that resolves elsewhere are left
// alone, with a log line). True when the file is gone or was never there.
bool removeRecording(const QString &recordDir, const QString &fileName);
} // namespace recordname

#pragma once

#include <QByteArrayView>
#include <QString>

// Entry points shared by the libFuzzer executables and the corpus replay tests. Each takes one
// input and returns what went wrong with it, or an empty text when the input was handled
// soundly (refusing a bad input is sound).
namespace nixora::fuzz
{

// Parse, write, parse again: the tree must survive both a plain write and a write in which
// every key is serialised anew.
[[nodiscard]] QString hiveRoundTrip(QByteArrayView input);

// Parses the input as a .reg file and applies it to a small prefix: a refused file or a failed
// write must leave both hives byte for byte as they were.
[[nodiscard]] QString regImport(QByteArrayView input);

// First line: an uninstall command; further lines: the files that exist. The check must end
// after a bounded number of questions.
[[nodiscard]] QString uninstallString(QByteArrayView input);

// Splitting and re-quoting: quoting the split arguments and splitting again gives them back.
[[nodiscard]] QString commandLine(QByteArrayView input);

// A backup file read line by line: no line end inside a result, and CR LF reads as LF.
[[nodiscard]] QString backupFile(QByteArrayView input);

// Arbitrary bytes as a backup file, restored as the program restores one (the check, then the
// import): nothing outside the Uninstall keys a restore may write to changes, ever.
[[nodiscard]] QString restoreBackup(QByteArrayView input);

// Generated hives with every spelling of key lines (escapes, letter case, doubled and trailing
// separators, quotes, comments, twins under Wow6432Node): the tree of the listing's subtrees
// must read as the whole tree reads, also an entry listed in one view and read in the other.
[[nodiscard]] QString subtreeParse(QByteArrayView input);

} // namespace nixora::fuzz

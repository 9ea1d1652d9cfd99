// The character type (LC_CTYPE) in which libraries of the process convert texts.
//
// psqlODBC's Unicode driver sets the process's LC_CTYPE from the environment
// when it connects (setlocale(LC_CTYPE, "")) and converts every text between
// its wide characters and the C strings the program exchanges with it in that
// locale's code set. cron and systemd start programs without a locale: under C
// every umlaut fails ("invalid string conversion occured"), and an 8-bit
// locale hands over Latin-1 bytes where the program reads and writes UTF-8.
// The programs themselves never depend on the locale: they write their bytes
// themselves.
#pragma once

namespace mrp {

/// Whether the locale that the environment names for LC_CTYPE (LC_ALL, LC_CTYPE,
/// LANG) is installed and uses UTF-8.
bool environmentCharacterTypeIsUtf8() noexcept;

/// Makes the environment name C.UTF-8 for LC_CTYPE unless it names an installed
/// UTF-8 locale already, so that libraries taking their locale from the
/// environment convert texts as UTF-8; other categories stay as they are
/// unless LC_ALL overrides them all. For a program's entry, before any thread
/// is started (it changes the environment).
void requireUtf8CharacterType() noexcept;

}  // namespace mrp

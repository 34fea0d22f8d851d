#ifndef MORV_CONFIGFILE_H
#define MORV_CONFIGFILE_H

#include <cstddef>
#include <memory>

// Configure.xml is not parsed as XML: a key's value is everything between the
// first "Key>" in the file and the next "</Key" after it (or the end of the text).

// Reads the whole file into a NUL-terminated buffer. Returns its size in bytes;
// 0 when it cannot be opened, measured or is empty (text is then left empty).
size_t ReadConfigFile(const char* path, std::unique_ptr<char[]>& text);

// Copies the value of key, NUL-terminated, into value (which must hold the text's
// length plus one byte). False when the key is absent; value is then untouched.
bool GetConfigValue(const char* text, const char* key, char* value);

#endif

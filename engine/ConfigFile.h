#ifndef MORV_CONFIGFILE_H
#define MORV_CONFIGFILE_H

#include <cstddef>
#include <memory>
#include <string>

// Configure.xml is read as XML: a key is an element name (letter case matters),
// its value the element's character data byte for byte, in the file's own
// encoding, with CDATA sections taken as they stand, the predefined entities,
// character references and the document's own internal entities resolved, and
// comments and processing instructions left out. The first element of a name
// wins. Several top-level elements are accepted, as files without a root
// element have always been.

// Reads the whole file into a NUL-terminated buffer. Returns its size in bytes;
// 0 when it cannot be opened, measured, is empty or is not well-formed (text is
// then left empty): a file cut short must not start with its later keys missing.
size_t ReadConfigFile(const char* path, std::unique_ptr<char[]>& text);

// Copies the value of key, NUL-terminated, into value (which must hold the text's
// length plus one byte). False when the key is absent; value is then untouched.
// In a text that is not well-formed only the elements before the fault are seen.
bool GetConfigValue(const char* text, const char* key, char* value);

// Empty when text is well-formed; else where and why it is not ("line 7: ...").
std::string ConfigTextProblem(const char* text);

// Why ReadConfigFile fails on path, in words a user can act on ("the file is
// empty", "not well-formed XML: line 7: ..."); empty when it does not.
std::string ConfigFileProblem(const char* path);

#endif

/* Morv: the engine's public interface.
 *
 * Four plain entry points with C linkage, so that C programs and foreign-function
 * interfaces (Python's ctypes, for instance) can drive the engine. Text is GB2312
 * (GBK) bytes, NUL-terminated. The engine is single-threaded and not re-entrant.
 */
#ifndef MORV_ENGINE_H
#define MORV_ENGINE_H

#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Loads Configure.xml and every model from basePath (NULL: the current working
 * directory). True when the engine is ready, or already was. */
bool EngineInit(const char* basePath);

/* Releases every model and closes the log. Always true. */
bool EngineExit(void);

/* Analyses text and writes the coloured result page to path. False when the page
 * cannot be created or the engine is not ready; nothing is written then. */
bool EngineWriteHtml(const char* text, const char* path);

/* Builds a user dictionary from a word list (one word at the start of each line),
 * saves it as UserDict.pdat in the data directory and uses it from then on.
 * Returns the number of words taken, 0 on failure. */
int EngineImportUserDict(const char* listPath);

#ifdef __cplusplus
}
#endif

#endif

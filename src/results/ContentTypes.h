#pragma once
#include <cstdint>
#include <string>

namespace loftwick {

// The extension and content-type table that names saved copies, and the two small text functions it is
// read with. Extensions and content types are cache bytes and compare exactly, case included: "GIF" is
// not "gif", so a saved PIC.GIF of type image/gif still gets ".gif" appended.

// The content type for the extension of a file name, or `defaultValue` when the name has no extension
// or the table does not know it.
std::string ContentTypeFromFileName(const std::string& fileName, const std::string& defaultValue);
// The extension (without the dot) for a content type, or `defaultValue` when the table does not know it.
// Where a content type has several extensions the table's first row for it wins.
std::string ExtensionFromContentType(const std::string& contentType, const std::string& defaultValue);

// The text after the last "." of a name, trimmed of blanks and cut before a "?". It may be empty (a name
// that ends in "."). `defaultValue` when the name has no "." or when that text holds "/", "\" or a blank,
// which means the dot belonged to a directory or to something that is not an extension.
std::string GetFileExtension(const std::string& name, const std::string& defaultValue);

// The smallest 1-based position at or after `start` at which any character of `set` occurs in `text`;
// 0 when none does or `set` is empty. Throws RuntimeError 5 when `start` is below 1.
int32_t InstrSet(int32_t start, const std::string& text, const std::string& set);

}  // namespace loftwick

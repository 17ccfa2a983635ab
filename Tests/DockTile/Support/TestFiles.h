// Files as the tests need them: written whole, property lists in either format, and property
// lists built to be hostile.
#pragma once

#include "PropertyList.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zov::docktile::test {

// Creates missing parent directories; replaces the file in one step.
void writeFile(const std::string& path, std::string_view contents);

enum class PlistFormat { xml, binary };

std::string serialize(plist_t root, PlistFormat format);
void writePropertyList(const std::string& path, plist_t root,
                       PlistFormat format = PlistFormat::xml);

// A dictionary that takes over the given values.
PropertyList dictionary(std::initializer_list<std::pair<const char*, plist_t>> entries);

// A binary property list made of these encoded objects, the first one at the top.
std::string binaryPropertyList(const std::vector<std::string>& objects);
// An encoded binary array that refers to these objects.
std::string binaryArray(const std::vector<std::uint32_t>& members);
// An encoded binary integer.
std::string binaryInteger(std::uint8_t value);

// Arrays nested depth deep around an integer.
std::string nestedXmlArrays(std::size_t depth);
std::string nestedBinaryArrays(std::size_t depth);
// Each level an array holding the next level twice: 2^levels values once expanded.
std::string sharedBinaryArrays(std::size_t levels);
// An array that holds itself.
std::string cyclicBinaryArray();

} // namespace zov::docktile::test

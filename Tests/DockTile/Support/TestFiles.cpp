#include "TestFiles.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace zov::docktile::test {

void writeFile(const std::string& path, std::string_view contents) {
    const std::filesystem::path target(path);
    std::filesystem::create_directories(target.parent_path());
    const std::string temporary = path + ".writing";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        if (!out) {
            throw std::runtime_error("cannot write " + path);
        }
    }
    std::filesystem::rename(temporary, target);
}

std::string serialize(plist_t root, PlistFormat format) {
    char* data = nullptr;
    uint32_t length = 0;
    if (format == PlistFormat::xml) {
        plist_to_xml(root, &data, &length);
    } else {
        plist_to_bin(root, &data, &length);
    }
    std::string result(data, length);
    free(data);
    return result;
}

void writePropertyList(const std::string& path, plist_t root, PlistFormat format) {
    writeFile(path, serialize(root, format));
}

PropertyList dictionary(std::initializer_list<std::pair<const char*, plist_t>> entries) {
    PropertyList root(plist_new_dict());
    for (const auto& [key, value] : entries) {
        plist_dict_set_item(root.get(), key, value);
    }
    return root;
}

namespace {

void appendBigEndian(std::string& out, std::uint64_t value, std::size_t size) {
    for (std::size_t i = size; i-- > 0;) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

} // namespace

std::string binaryPropertyList(const std::vector<std::string>& objects) {
    std::string data = "bplist00";
    std::vector<std::uint64_t> offsets;
    for (const auto& object : objects) {
        offsets.push_back(data.size());
        data += object;
    }
    const std::uint64_t table = data.size();
    for (const auto offset : offsets) {
        appendBigEndian(data, offset, 4);
    }
    data.append(6, '\0');
    data.push_back(4); // offset size
    data.push_back(4); // object reference size
    appendBigEndian(data, objects.size(), 8);
    appendBigEndian(data, 0, 8);
    appendBigEndian(data, table, 8);
    return data;
}

std::string binaryArray(const std::vector<std::uint32_t>& members) {
    std::string object;
    if (members.size() < 15) {
        object.push_back(static_cast<char>(0xA0 | members.size()));
    } else {
        object.push_back(static_cast<char>(0xAF));
        object.push_back(static_cast<char>(0x12));
        appendBigEndian(object, members.size(), 4);
    }
    for (const auto member : members) {
        appendBigEndian(object, member, 4);
    }
    return object;
}

std::string binaryInteger(std::uint8_t value) {
    return std::string{static_cast<char>(0x10), static_cast<char>(value)};
}

std::string nestedXmlArrays(std::size_t depth) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    for (std::size_t i = 0; i < depth; ++i) {
        xml += "<array>";
    }
    xml += "<integer>1</integer>";
    for (std::size_t i = 0; i < depth; ++i) {
        xml += "</array>";
    }
    return xml + "</plist>\n";
}

std::string nestedBinaryArrays(std::size_t depth) {
    std::vector<std::string> objects;
    for (std::uint32_t i = 0; i < depth; ++i) {
        objects.push_back(binaryArray({i + 1}));
    }
    objects.push_back(binaryInteger(1));
    return binaryPropertyList(objects);
}

std::string sharedBinaryArrays(std::size_t levels) {
    std::vector<std::string> objects;
    for (std::uint32_t i = 0; i < levels; ++i) {
        objects.push_back(binaryArray({i + 1, i + 1}));
    }
    objects.push_back(binaryInteger(1));
    return binaryPropertyList(objects);
}

std::string cyclicBinaryArray() {
    return binaryPropertyList({binaryArray({0})});
}

} // namespace zov::docktile::test

#include "PropertyListShape.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace zov::docktile {

namespace {

constexpr std::string_view binaryMagic = "bplist";
constexpr std::size_t binaryHeaderSize = 8;
constexpr std::size_t binaryTrailerSize = 32;

// The object graph of a binary property list: a trailer at the end gives the size of the integers
// in the offset table and in object references, the number of objects, the top object and where
// the offset table starts; arrays, sets and dictionaries refer to their members by index.
class BinaryShape {
public:
    explicit BinaryShape(std::string_view bytes) : data(bytes) {}

    bool isSafe() {
        if (data.size() < binaryHeaderSize + binaryTrailerSize || !readTrailer()) {
            return false;
        }
        state.assign(objectCount, State::unvisited);
        depthBelow.assign(objectCount, 0);
        nodesBelow.assign(objectCount, 0);
        return walkFrom(topObject);
    }

private:
    enum class State : std::uint8_t { unvisited, visiting, done };

    struct Frame {
        std::uint64_t object;
        std::vector<std::uint64_t> members;
        std::size_t next = 0;
    };

    std::optional<std::uint64_t> readUnsigned(std::size_t offset, std::size_t size) const {
        if (size == 0 || size > 8 || offset > data.size() || data.size() - offset < size) {
            return std::nullopt;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            value = (value << 8) | static_cast<unsigned char>(data[offset + i]);
        }
        return value;
    }

    bool readTrailer() {
        const std::size_t trailer = data.size() - binaryTrailerSize;
        offsetSize = static_cast<unsigned char>(data[trailer + 6]);
        referenceSize = static_cast<unsigned char>(data[trailer + 7]);
        const auto count = readUnsigned(trailer + 8, 8);
        const auto top = readUnsigned(trailer + 16, 8);
        const auto table = readUnsigned(trailer + 24, 8);
        if (offsetSize < 1 || offsetSize > 8 || referenceSize < 1 || referenceSize > 8 || !count ||
            !top || !table || *count == 0 || *count > trailer || *top >= *count ||
            *table > trailer || (trailer - *table) / offsetSize < *count) {
            return false;
        }
        objectCount = *count;
        topObject = *top;
        offsetTable = *table;
        return true;
    }

    // The members of an array, set or dictionary (keys and values), none for other objects, or
    // nothing when the object is malformed.
    std::optional<std::vector<std::uint64_t>> members(std::uint64_t object) const {
        const auto offset = readUnsigned(offsetTable + object * offsetSize, offsetSize);
        const std::size_t end = data.size() - binaryTrailerSize;
        if (!offset || *offset >= end) {
            return std::nullopt;
        }
        const auto marker = static_cast<unsigned char>(data[*offset]);
        const unsigned type = marker >> 4;
        if (type != 0xA && type != 0xC && type != 0xD) {
            return std::vector<std::uint64_t>{};
        }
        std::uint64_t count = marker & 0xF;
        std::size_t position = *offset + 1;
        if (count == 0xF) {
            if (position >= end) {
                return std::nullopt;
            }
            const auto lengthMarker = static_cast<unsigned char>(data[position]);
            const std::size_t lengthSize = std::size_t{1} << (lengthMarker & 0xF);
            const auto length =
                (lengthMarker >> 4) == 0x1 ? readUnsigned(position + 1, lengthSize) : std::nullopt;
            if (!length) {
                return std::nullopt;
            }
            count = *length;
            position += 1 + lengthSize;
        }
        const std::uint64_t references = type == 0xD ? count * 2 : count;
        if (count > end || position > end || (end - position) / referenceSize < references) {
            return std::nullopt;
        }
        std::vector<std::uint64_t> result;
        result.reserve(references);
        for (std::uint64_t i = 0; i < references; ++i) {
            const auto reference = readUnsigned(position + i * referenceSize, referenceSize);
            if (!reference || *reference >= objectCount) {
                return std::nullopt;
            }
            result.push_back(*reference);
        }
        return result;
    }

    bool enter(std::vector<Frame>& stack, std::uint64_t object) {
        auto objectMembers = members(object);
        if (!objectMembers || stack.size() >= maxPropertyListDepth) {
            return false;
        }
        state[object] = State::visiting;
        stack.push_back(Frame{object, std::move(*objectMembers)});
        return true;
    }

    // Depth-first, without recursion, remembering each finished object's depth and expanded size.
    bool walkFrom(std::uint64_t top) {
        std::vector<Frame> stack;
        if (!enter(stack, top)) {
            return false;
        }
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next < frame.members.size()) {
                const std::uint64_t member = frame.members[frame.next++];
                if (state[member] == State::visiting) {
                    return false;
                }
                if (state[member] == State::unvisited && !enter(stack, member)) {
                    return false;
                }
                continue;
            }
            std::size_t depth = 0;
            std::uint64_t nodes = 1;
            for (const std::uint64_t member : frame.members) {
                depth = std::max(depth, depthBelow[member]);
                nodes = std::min(nodes + nodesBelow[member], maxPropertyListNodes + 1);
            }
            depthBelow[frame.object] = depth + 1;
            nodesBelow[frame.object] = nodes;
            state[frame.object] = State::done;
            if (depth + 1 > maxPropertyListDepth || nodes > maxPropertyListNodes) {
                return false;
            }
            stack.pop_back();
        }
        return true;
    }

    std::string_view data;
    std::size_t offsetSize = 0;
    std::size_t referenceSize = 0;
    std::uint64_t objectCount = 0;
    std::uint64_t topObject = 0;
    std::uint64_t offsetTable = 0;
    std::vector<State> state;
    std::vector<std::size_t> depthBelow;
    std::vector<std::uint64_t> nodesBelow;
};

bool isContainerTag(std::string_view name) {
    return name == "array" || name == "dict";
}

// XML shares nothing, so only the nesting of arrays and dictionaries matters. Tags are counted
// without regard to comments, which can only make the count larger.
bool hasSafeXmlNesting(std::string_view xml) {
    std::size_t depth = 0;
    for (auto open = xml.find('<'); open != std::string_view::npos;
         open = xml.find('<', open + 1)) {
        std::string_view tag = xml.substr(open + 1);
        const bool closing = !tag.empty() && tag.front() == '/';
        if (closing) {
            tag.remove_prefix(1);
        }
        const auto end = tag.find('>');
        const std::string_view name = tag.substr(0, tag.find_first_of(" \t\r\n/>"));
        if (!isContainerTag(name)) {
            continue;
        }
        if (closing) {
            depth -= depth > 0 ? 1 : 0;
        } else if (end == std::string_view::npos || end == 0 || tag[end - 1] != '/') {
            if (++depth > maxPropertyListDepth) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool hasSafeShape(std::string_view data) {
    if (data.starts_with(binaryMagic)) {
        return BinaryShape(data).isSafe();
    }
    return hasSafeXmlNesting(data);
}

} // namespace zov::docktile

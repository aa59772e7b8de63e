#include "platform/desktop/property_list_bounds.hpp"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

namespace zentrabo::platform {

namespace {

// --- Binary lists: a trailer at the end names the offset table, the table
// gives each object's offset, and containers refer to objects by their index
// in the table.

constexpr std::string_view binaryMagic = "bplist00";
constexpr std::size_t trailerSize = 32;

// An unsigned big-endian number of width bytes (1 to 8) at offset; none past the end.
std::optional<std::uint64_t> readNumber(std::span<const std::uint8_t> bytes, std::uint64_t offset,
                                        std::uint64_t width) {
    if (offset > bytes.size() || bytes.size() - offset < width) return std::nullopt;
    std::uint64_t value = 0;
    for (std::uint64_t i = 0; i < width; ++i) value = value << 8 | bytes[offset + i];
    return value;
}

bool isNumberWidth(std::uint64_t width) { return width >= 1 && width <= 8; }

class BinaryList {
public:
    BinaryList(std::span<const std::uint8_t> bytes, const PropertyListBounds& bounds)
        : bytes_(bytes), bounds_(bounds) {}

    bool withinBounds();

private:
    // What the walk needs of one object: where its references start, how
    // many it has (none but for arrays, sets and dictionaries), and the
    // bytes of its text or data.
    struct Object {
        std::uint64_t references = 0;
        std::uint64_t referenceCount = 0;
        std::uint64_t payloadBytes = 0;
    };
    // The tree below an object as libplist builds it.
    struct Tree {
        std::uint8_t height = 0;
        std::uint64_t values = 1;
        std::uint64_t payloadBytes = 0;
    };
    // One container on the path from the root, with what its finished
    // children added up to.
    struct Step {
        std::uint64_t index;
        Object object;
        std::uint64_t nextReference = 0;
        Tree tree;
    };
    enum class State : std::uint8_t { unvisited, onPath, finished };

    bool readTrailer();
    // Reads the object at index; none when it lies outside the bytes or is a
    // text holding U+0000.
    std::optional<Object> object(std::uint64_t index);
    bool enter(std::uint64_t index);
    bool addFinished(Tree& parent, std::uint64_t child) const;

    std::span<const std::uint8_t> bytes_;
    const PropertyListBounds& bounds_;
    std::uint64_t offsetWidth_ = 0;
    std::uint64_t referenceWidth_ = 0;
    std::uint64_t objectCount_ = 0;
    std::uint64_t root_ = 0;
    std::uint64_t tableOffset_ = 0;
    // Text bytes looked at so far: each object once, so no more than the
    // payload the tree may hold.
    std::uint64_t scannedBytes_ = 0;
    std::vector<State> states_;
    std::vector<Tree> trees_;
    std::vector<Step> path_;
};

bool BinaryList::readTrailer() {
    if (bytes_.size() < binaryMagic.size() + trailerSize) return false;
    const std::uint64_t trailer = bytes_.size() - trailerSize;
    offsetWidth_ = bytes_[trailer + 6];
    referenceWidth_ = bytes_[trailer + 7];
    objectCount_ = *readNumber(bytes_, trailer + 8, 8);
    root_ = *readNumber(bytes_, trailer + 16, 8);
    tableOffset_ = *readNumber(bytes_, trailer + 24, 8);
    // A list of more objects than values it may hold is not worth reading.
    return isNumberWidth(offsetWidth_) && isNumberWidth(referenceWidth_) && tableOffset_ <= trailer &&
           objectCount_ <= (trailer - tableOffset_) / offsetWidth_ && root_ < objectCount_ &&
           objectCount_ <= bounds_.maximumValueCount;
}

std::optional<BinaryList::Object> BinaryList::object(std::uint64_t index) {
    const auto offset = readNumber(bytes_, tableOffset_ + index * offsetWidth_, offsetWidth_);
    if (!offset || *offset >= bytes_.size()) return std::nullopt;
    const std::uint8_t marker = bytes_[*offset];
    const std::uint8_t kind = marker >> 4;
    const bool isData = kind == 0x4;
    const bool isText = kind == 0x5 || kind == 0x6;
    const bool isContainer = kind == 0xA || kind == 0xC || kind == 0xD;
    if (!isData && !isText && !isContainer) return Object{};

    // A count of 15 or more follows the marker as an integer object.
    std::uint64_t count = marker & 0x0F;
    std::uint64_t start = *offset + 1;
    if (count == 0x0F) {
        const auto integerMarker = readNumber(bytes_, start, 1);
        if (!integerMarker || (*integerMarker >> 4) != 0x1 || (*integerMarker & 0x0F) > 3) return std::nullopt;
        const std::uint64_t width = std::uint64_t{1} << (*integerMarker & 0x0F);
        const auto wide = readNumber(bytes_, start + 1, width);
        if (!wide) return std::nullopt;
        count = *wide;
        start += 1 + width;
    }
    const std::uint64_t remaining = bytes_.size() - std::min<std::uint64_t>(start, bytes_.size());
    if (isData) {
        if (count > remaining) return std::nullopt;
        return Object{0, 0, count};
    }
    if (isText) {
        const std::uint64_t unitWidth = kind == 0x6 ? 2 : 1;
        if (count > remaining / unitWidth) return std::nullopt;
        scannedBytes_ += count * unitWidth;
        if (scannedBytes_ > bounds_.maximumPayloadBytes) return std::nullopt;
        for (std::uint64_t unit = 0; unit < count; ++unit) {
            if (*readNumber(bytes_, start + unit * unitWidth, unitWidth) == 0) return std::nullopt;
        }
        // A UTF-16 unit becomes up to three bytes of UTF-8.
        return Object{0, 0, count * (kind == 0x6 ? 3 : 1)};
    }
    if (kind == 0xD) {
        if (count > remaining / 2) return std::nullopt;
        count *= 2;  // the keys, then the values
    }
    if (count > remaining / referenceWidth_) return std::nullopt;
    return Object{start, count, 0};
}

bool BinaryList::enter(std::uint64_t index) {
    // The object sits path_.size() levels below the root.
    if (path_.size() > static_cast<std::size_t>(bounds_.maximumDepth)) return false;
    const auto read = object(index);
    if (!read) return false;
    states_[index] = State::onPath;
    path_.push_back({index, *read, 0, Tree{0, 1, read->payloadBytes}});
    return true;
}

bool BinaryList::addFinished(Tree& parent, std::uint64_t child) const {
    // The child sits path_.size() levels below the root, its deepest value
    // its height further down.
    const Tree& tree = trees_[child];
    if (path_.size() + tree.height > static_cast<std::size_t>(bounds_.maximumDepth)) return false;
    parent.height = std::max(parent.height, static_cast<std::uint8_t>(tree.height + 1));
    parent.values += tree.values;
    parent.payloadBytes += tree.payloadBytes;
    return parent.values <= bounds_.maximumValueCount && parent.payloadBytes <= bounds_.maximumPayloadBytes;
}

bool BinaryList::withinBounds() {
    if (!readTrailer()) return false;
    states_.assign(objectCount_, State::unvisited);
    trees_.assign(objectCount_, Tree{});
    if (!enter(root_)) return false;
    while (!path_.empty()) {
        Step& step = path_.back();
        if (step.nextReference < step.object.referenceCount) {
            const std::uint64_t child =
                *readNumber(bytes_, step.object.references + step.nextReference * referenceWidth_, referenceWidth_);
            ++step.nextReference;
            if (child >= objectCount_ || states_[child] == State::onPath) return false;  // a value inside itself
            if (states_[child] == State::unvisited) {
                if (!enter(child)) return false;
            } else if (!addFinished(step.tree, child)) {
                return false;
            }
            continue;
        }
        const std::uint64_t index = step.index;
        trees_[index] = step.tree;
        states_[index] = State::finished;
        path_.pop_back();
        if (!path_.empty() && !addFinished(path_.back().tree, index)) return false;
    }
    return true;
}

// --- XML lists: nesting is counted from the tags. Each piece of markup must
// end at its first '>' (quotes balanced, a comment at "-->", character data
// at "]]>", an instruction at "?>", no internal DTD subset), so a reader that
// honours quotes and comments and one that does not see the same tags, and
// the count holds for whichever libplist is.

bool markupEndsAtFirstBracket(std::string_view markup) {
    if (markup.starts_with("<!--")) return markup.size() >= 7 && markup.ends_with("-->");
    if (markup.starts_with("<![CDATA[")) return markup.ends_with("]]>");
    if (markup.starts_with("<?")) return markup.size() >= 4 && markup.ends_with("?>");
    if (markup.starts_with("<!") && markup.find('[') != std::string_view::npos) return false;
    return std::count(markup.begin(), markup.end(), '"') % 2 == 0 &&
           std::count(markup.begin(), markup.end(), '\'') % 2 == 0;
}

bool xmlWithinBounds(std::string_view text, const PropertyListBounds& bounds) {
    // XML has no U+0000, and libplist aborts on a text that holds one.
    if (text.find('\0') != std::string_view::npos) return false;
    // The plist element, the root value and a dictionary's keys add three
    // levels to the values' own.
    const int maximumElementDepth = bounds.maximumDepth + 3;
    int depth = 0;
    std::uint64_t elements = 0;
    for (std::size_t open = text.find('<'); open != std::string_view::npos; open = text.find('<', open + 1)) {
        const std::size_t close = text.find('>', open);
        if (close == std::string_view::npos) return true;  // no tag follows
        const std::string_view markup = text.substr(open, close - open + 1);
        if (!markupEndsAtFirstBracket(markup)) return false;
        if (markup.starts_with("</")) {
            depth = std::max(depth - 1, 0);
        } else if (!markup.starts_with("<!") && !markup.starts_with("<?")) {
            // Every element but the plist element is a value or a key.
            if (++elements > bounds.maximumValueCount + 1) return false;
            if (!markup.ends_with("/>") && ++depth > maximumElementDepth) return false;
        }
        open = close;
    }
    return true;
}

}  // namespace

bool propertyListWithinBounds(std::span<const std::uint8_t> bytes, const PropertyListBounds& bounds) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.starts_with(binaryMagic)) return BinaryList(bytes, bounds).withinBounds();
    return xmlWithinBounds(text, bounds);
}

}  // namespace zentrabo::platform

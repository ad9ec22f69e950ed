#include "resources/SlotPatcher.h"

#include "effect/CodeContainer.h"
#include "effect/Parser.h"
#include "platform/UserFolder.h"
#include "resources/BinaryImage.h"
#include "resources/Slots.h"

#include <stdexcept>
#include <vector>

namespace glfx {
namespace {

struct Range {
    size_t begin, end;
};

// The data a loader maps (ELF or PE); the whole file for anything else.
std::vector<Range> searchRanges(const std::string& image) {
    std::vector<Range> ranges;
    for (const ImageSection& s : imageSections(image))
        if (s.loaded) ranges.push_back({size_t(s.offset), size_t(s.offset + s.size)});
    // The whole of a library file would hold the slots again in its debug information.
    const bool library = image.compare(0, 4, "\177ELF") == 0 || image.compare(0, 2, "MZ") == 0;
    if (ranges.empty() && library)
        throw std::runtime_error("the library's section table cannot be read (the file is cut "
                                 "short or damaged, or not a 64-bit little-endian library): "
                                 "build or copy the library again");
    if (ranges.empty()) ranges.push_back({0, image.size()});
    return ranges;
}

size_t findUnique(const std::string& image, const std::string& needle, const char* what) {
    std::vector<size_t> hits;
    for (const Range& r : searchRanges(image)) {
        for (size_t at = image.find(needle, r.begin); at != std::string::npos && at < r.end;
             at = image.find(needle, at + 1))
            if (at + needle.size() <= r.end) hits.push_back(at);
    }
    if (hits.empty())
        throw std::runtime_error(std::string("no ") + what +
                                 " in this file: is it a glfx plug-in library?");
    if (hits.size() > 1)
        throw std::runtime_error(std::string(what) + " found " + std::to_string(hits.size()) +
                                 " times; the file is not a plain glfx plug-in library");
    return hits.front();
}

std::string textProblem(const std::string& text, const char* what, bool allowEmpty) {
    if (text.empty() && !allowEmpty)
        return std::string(what) + " is empty; give one of 1 to 31 characters";
    if (text.size() > kNameSlotSize)
        return std::string(what) + " \"" + text + "\" is " + std::to_string(text.size()) +
               " bytes long; the slot holds at most 31";
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 32 || c >= 127)
            return std::string(what) + " holds byte 0x" + "0123456789abcdef"[c >> 4] +
                   "0123456789abcdef"[c & 15] + " at position " + std::to_string(i) +
                   "; use printable ASCII characters only";
    }
    return {};
}

// One length byte, then the text, a NUL and filler up to 31 bytes.
std::string countedSlot(const std::string& text, char filler) {
    std::string slot(1 + kNameSlotSize, filler);
    slot[0] = static_cast<char>(text.size());
    slot.replace(1, text.size(), text);
    if (text.size() < kNameSlotSize) slot[1 + text.size()] = '\0';
    return slot;
}

std::string codeSlotFor(const PackRequest& request) {
    const std::string marker(reinterpret_cast<const char*>(kCipherEndMarker),
                             sizeof kCipherEndMarker);
    const size_t markerAt = request.code.find(marker);
    if (markerAt != std::string::npos)
        throw std::invalid_argument("effect code holds the bytes 0x12 0x13 0x14 at offset " +
                                    std::to_string(markerAt) +
                                    ", which end the code slot; remove them");
    const std::string tooLong = codeSizeProblem(request.code, request.plain);
    if (!tooLong.empty()) throw std::invalid_argument(tooLong);
    std::string slot;
    if (request.plain) {
        if (codeSlotForm(request.code) != CodeForm::Plain)
            throw std::invalid_argument(
                "plain effect code must not begin with \"##GLFX_CODE\" or the bytes 0x12 0x14 "
                "0x18; the library would take it for another form");
        slot = request.code;
        // Line feeds make empty lines, which the parser skips: the filler adds nothing.
        if (slot.size() < kCodeSlotSize) slot.resize(kCodeSlotSize, '\n');
    } else {
        slot = encipherCode(request.code, request.name);
        if (slot.size() < kCodeSlotSize) slot.resize(kCodeSlotSize, '#');
    }
    return slot;
}

// The packer writes at fixed offsets: everything but the fields it or a build changes must be
// laid out as this build lays it out, or the writes would land in other properties.
void checkResourceLayout(const std::string& image, size_t resource) {
    const PropertyResourceBytes skeleton = buildPropertyResource("", "");
    const Range fields[] = {{kResourceNameOffset, kResourceNameOffset + 32},
                            {kResourceCategoryOffset, kResourceCategoryOffset + 32},
                            {kResourceMatchNameOffset, kResourceMatchNameOffset + 32},
                            {kResourceVersionOffset, kResourceVersionOffset + 4},
                            {kResourceOutFlagsOffset, kResourceOutFlagsOffset + 4},
                            {kResourceOutFlags2Offset, kResourceOutFlags2Offset + 4}};
    for (size_t i = 0; i < kPropertyResourceSize; ++i) {
        bool variable = false;
        for (const Range& f : fields)
            variable = variable || (i >= f.begin && i < f.end);
        if (!variable && static_cast<uint8_t>(image[resource + i]) != skeleton[i])
            throw std::runtime_error("the property resource differs from a glfx one at its byte " +
                                     std::to_string(i) +
                                     "; the file is not a plain glfx plug-in library");
    }
}

} // namespace

std::string packNameProblem(const std::string& name) {
    std::string problem = textProblem(name, "effect name", false);
    if (!problem.empty()) return problem;
    problem = platform::effectNameProblem(name);
    if (problem.empty()) return {};
    return "effect name \"" + name + "\" " + problem +
           " (the plug-in keeps its code file in the folder fxdepot/<name>/)";
}

std::string codeSizeProblem(const std::string& code, bool plain) {
    const size_t room =
        plain ? kCodeSlotSize : kCodeSlotSize - sizeof kCipherHeader - sizeof kCipherEndMarker;
    if (code.size() <= room) return {};
    const size_t times = code.size() / room;
    return "effect code is " + std::to_string(code.size()) + " bytes" +
           (times >= 2 ? ", " + std::to_string(times) + " times what fits" : std::string()) +
           "; the slot holds " + std::to_string(room) + (plain ? "" : " when enciphered") +
           ": shorten the shaders or the comments";
}

std::string packCategoryProblem(const std::string& category) {
    return textProblem(category, "category", true);
}

SlotOffsets locateSlots(const std::string& image) {
    const auto signatureBytes = buildPropertyResource("", "");
    const std::string signature(reinterpret_cast<const char*>(signatureBytes.data()),
                                kResourceSignatureSize);
    SlotOffsets at;
    if (!peSections(image).empty()) {
        // A Windows library carries it as a real resource, found through the resource directory.
        uint64_t size = 0;
        const char* resource =
            findPeResource(image, kPeResourceType, kPeResourceId, kPeResourceLanguage, &size);
        if (resource == nullptr)
            throw std::runtime_error("no PiPL resource 16000 (language 1033) in this file: is it "
                                     "a glfx plug-in library?");
        if (size != kPropertyResourceSize ||
            signature.compare(0, signature.size(), resource, signature.size()) != 0)
            throw std::runtime_error("the PiPL resource 16000 has " + std::to_string(size) +
                                     " bytes and is not a glfx property resource");
        at.resource = size_t(resource - image.data());
    } else {
        at.resource = findUnique(image, signature, "property resource");
    }
    if (image.size() - at.resource < kPropertyResourceSize)
        throw std::runtime_error("property resource is cut short by the end of the file");
    checkResourceLayout(image, at.resource);
    at.nameSlot = findUnique(image, std::string(GLFX_NAME_SLOT_TAG, kSlotTagSize), "name slot") +
                  kSlotTagSize;
    at.codeSlot = findUnique(image, std::string(GLFX_CODE_SLOT_TAG, kSlotTagSize), "code slot") +
                  kSlotTagSize;
    if (image.size() - at.nameSlot < kNameSlotSize || image.size() - at.codeSlot < kCodeSlotSize)
        throw std::runtime_error("a slot is cut short by the end of the file");
    // Writing one slot into another (or over a tag) would leave a library no one finds again.
    const Range spans[] = {{at.resource, at.resource + kPropertyResourceSize},
                           {at.nameSlot - kSlotTagSize, at.nameSlot + kNameSlotSize},
                           {at.codeSlot - kSlotTagSize, at.codeSlot + kCodeSlotSize}};
    for (size_t a = 0; a < 3; ++a)
        for (size_t b = a + 1; b < 3; ++b)
            if (spans[a].begin < spans[b].end && spans[b].begin < spans[a].end)
                throw std::runtime_error("the slots overlap; the file is not a plain glfx "
                                         "plug-in library");
    return at;
}

void packLibrary(std::string& image, const PackRequest& request) {
    for (const std::string& problem :
         {packNameProblem(request.name), packCategoryProblem(request.category)})
        if (!problem.empty()) throw std::invalid_argument(problem);
    const std::string code = codeSlotFor(request);
    const SlotOffsets at = locateSlots(image);

    const std::string name = countedSlot(request.name, '#');
    image.replace(at.resource + kResourceNameOffset, name.size(), name);
    image.replace(at.resource + kResourceMatchNameOffset, name.size(), name);
    const std::string category = countedSlot(request.category, '\0');
    image.replace(at.resource + kResourceCategoryOffset, category.size(), category);
    image.replace(at.nameSlot, kNameSlotSize, name.substr(1));
    image.replace(at.codeSlot, kCodeSlotSize, code);
    // An effect with persistent passes asks the host to track its checkouts over time, as its
    // global set-up will say: the host compares the two.
    EffectDescription description;
    try {
        parseDescription(description, request.code);
    } catch (const std::exception&) {
        // A text the plug-in cannot load has no passes to keep.
    }
    const uint32_t flags2 = kAeOutFlags2 | (usesFeedback(description) ? kFeedbackOutFlags2 : 0);
    for (size_t b = 0; b < 4; ++b)
        image[at.resource + kResourceOutFlags2Offset + b] = static_cast<char>(flags2 >> (8 * b));
}

SlotContents readSlots(const std::string& image) {
    const SlotOffsets at = locateSlots(image);
    return {image.substr(at.resource, kPropertyResourceSize),
            image.substr(at.nameSlot, kNameSlotSize), image.substr(at.codeSlot, kCodeSlotSize)};
}

} // namespace glfx

// Windows libraries for the packer: the PE section table (with long names and discardable debug
// sections) and the resource directory, on PE files made here byte by byte, and packing a library
// whose debug information repeats a slot's tag.
#include "effect/CodeContainer.h"
#include "resources/BinaryImage.h"
#include "resources/PropertyResource.h"
#include "resources/SlotPatcher.h"
#include "resources/Slots.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

using namespace glfx;

namespace {

constexpr uint32_t kCode = 0x60000020, kData = 0x40000040, kDiscardable = 0x42000040;

struct Section {
    std::string name;
    std::string data;
    uint32_t characteristics = kData;
};

void put16(std::string& s, size_t at, uint16_t v) {
    std::memcpy(&s[at], &v, 2);
}
void put32(std::string& s, size_t at, uint32_t v) {
    std::memcpy(&s[at], &v, 4);
}

// Each section at its own megabyte: more than any section here holds.
uint32_t virtualAddress(size_t index) {
    return 0x100000 * uint32_t(index + 1);
}

// A PE32+ file holding `sections`, raw data padded to 0x200 as linkers do. Names longer than 8
// bytes go into the string table. `resources` names the section that the resource data directory
// points at, or -1.
std::string makePe(const std::vector<Section>& sections, int resources = -1) {
    const size_t peAt = 0x80, optionalAt = peAt + 24, optionalSize = 240;
    const size_t tableAt = optionalAt + optionalSize;
    std::string file(0x400, '\0');
    file[0] = 'M', file[1] = 'Z';
    put32(file, 0x3C, uint32_t(peAt));
    file.replace(peAt, 4, std::string("PE\0\0", 4));
    put16(file, peAt + 4, 0x8664);
    put16(file, peAt + 6, uint16_t(sections.size()));
    put16(file, peAt + 20, uint16_t(optionalSize));
    put16(file, optionalAt, 0x20B);
    put32(file, optionalAt + 108, 16);

    std::string strings(4, '\0');
    for (size_t i = 0; i < sections.size(); ++i) {
        const Section& s = sections[i];
        const size_t entry = tableAt + i * 40;
        if (s.name.size() > 8) {
            const std::string reference = "/" + std::to_string(strings.size());
            file.replace(entry, reference.size(), reference);
            strings += s.name + '\0';
        } else {
            file.replace(entry, s.name.size(), s.name);
        }
        const size_t raw = (s.data.size() + 0x1FF) / 0x200 * 0x200;
        put32(file, entry + 8, uint32_t(s.data.size()));
        put32(file, entry + 12, virtualAddress(i));
        put32(file, entry + 16, uint32_t(raw));
        put32(file, entry + 20, uint32_t(file.size()));
        put32(file, entry + 36, s.characteristics);
        file += s.data;
        file.resize(file.size() + raw - s.data.size(), '\xCC'); // padding that is no section's data
    }
    if (resources >= 0) {
        put32(file, optionalAt + 112 + 2 * 8, virtualAddress(size_t(resources)));
        put32(file, optionalAt + 112 + 2 * 8 + 4,
              uint32_t(sections[size_t(resources)].data.size()));
    }
    if (strings.size() > 4) {
        put32(file, peAt + 12, uint32_t(file.size())); // no symbols, so the strings start here
        put32(strings, 0, uint32_t(strings.size()));
        file += strings;
    }
    return file;
}

// A resource section (for section `index`) with one resource: `type` by name, then `id`, then
// `language`, holding `data`.
std::string resourceSection(size_t index, const std::string& type, uint16_t id, uint16_t language,
                            const std::string& data) {
    std::string s(16 + 8 + 16 + 8 + 16 + 8 + 16, '\0');
    const size_t byId = 24, byLanguage = 48, dataEntry = 72, name = 88;
    put16(s, 12, 1); // one named entry
    put32(s, 16, 0x80000000u | uint32_t(name));
    put32(s, 20, 0x80000000u | uint32_t(byId));
    put16(s, byId + 14, 1);
    put32(s, byId + 16, id);
    put32(s, byId + 20, 0x80000000u | uint32_t(byLanguage));
    put16(s, byLanguage + 14, 1);
    put32(s, byLanguage + 16, language);
    put32(s, byLanguage + 20, uint32_t(dataEntry));
    s.resize(name);
    s.push_back(char(type.size()));
    s.push_back('\0');
    for (char c : type) {
        s.push_back(c);
        s.push_back('\0');
    }
    s.resize((s.size() + 7) / 8 * 8, '\0');
    put32(s, dataEntry, virtualAddress(index) + uint32_t(s.size()));
    put32(s, dataEntry + 4, uint32_t(data.size()));
    return s + data;
}

std::string resourceBytes(const char* name, const char* category) {
    const auto r = buildPropertyResource(name, category);
    return std::string(reinterpret_cast<const char*>(r.data()), r.size());
}

std::string slots() {
    std::string nameSlot(GLFX_NAME_SLOT_TAG, kSlotTagSize);
    nameSlot += std::string(kDefaultEffectName) + '\0';
    nameSlot.resize(kSlotTagSize + kNameSlotSize, '#');
    std::string codeSlot(GLFX_CODE_SLOT_TAG, kSlotTagSize);
    codeSlot += kCodeTemplateTag;
    codeSlot.resize(kSlotTagSize + kCodeSlotSize, '#');
    return std::string(40, '\x11') + nameSlot + std::string(24, '\x22') + codeSlot;
}

// A plug-in as the cross build links it: code, constant data with the slots, the resource, and
// debug information that repeats every tag and the resource.
std::string pluginImage() {
    const std::string resource = resourceBytes(kDefaultEffectName, kDefaultCategory);
    const std::string debug = slots() + resource;
    return makePe({{".text", std::string(300, '\x90'), kCode},
                   {".rdata", slots()},
                   {".rsrc", resourceSection(2, "PIPL", 16000, 1033, resource)},
                   {".debug_info", debug, kDiscardable}},
                  2);
}

} // namespace

TEST(PeImage, FindsAResourceByTypeIdAndLanguage) {
    const std::string image = pluginImage();
    const std::string expected = resourceBytes(kDefaultEffectName, kDefaultCategory);
    uint64_t size = 0;
    for (const char* type : {"PIPL", "PiPL", "pipl"}) {
        const char* data = findPeResource(image, type, 16000, 1033, &size);
        ASSERT_NE(data, nullptr) << type;
        EXPECT_EQ(std::string(data, size), expected);
    }
    EXPECT_EQ(findPeResource(image, "PIPX", 16000, 1033, &size), nullptr);
    EXPECT_EQ(findPeResource(image, "PIP", 16000, 1033, &size), nullptr);
    EXPECT_EQ(findPeResource(image, "PIPL", 16001, 1033, &size), nullptr);
    EXPECT_EQ(findPeResource(image, "PIPL", 16000, 1031, &size), nullptr);
    // No resource directory at all.
    EXPECT_EQ(findPeResource(makePe({{".rdata", slots()}}), "PIPL", 16000, 1033, &size), nullptr);
}

TEST(PeImage, DamagedFilesGiveNothingInsteadOfReadsPastTheEnd) {
    const std::string image = pluginImage();
    uint64_t size = 0;
    for (size_t cut : {size_t(0), size_t(0x40), size_t(0x90), size_t(0x1A0), size_t(0x3FF),
                       image.size() / 2, image.size() - 1}) {
        const std::string part = image.substr(0, cut);
        for (const ImageSection& s : peSections(part))
            EXPECT_LE(s.offset + s.size, part.size()) << cut;
        findPeResource(part, "PIPL", 16000, 1033, &size);
    }
    // Entry counts and offsets far beyond the resource section.
    const ImageSection rsrc = peSections(image)[2];
    for (size_t at :
         {size_t(12), size_t(14), size_t(16), size_t(20), size_t(24 + 20), size_t(72)}) {
        std::string damaged = image;
        put32(damaged, size_t(rsrc.offset) + at, 0x7FFFFFF0);
        EXPECT_EQ(findPeResource(damaged, "PIPL", 16000, 1033, &size), nullptr) << at;
    }
    std::string damaged = image;
    put32(damaged, 0x3C, 0xFFFFFFF0); // PE header beyond the file
    EXPECT_TRUE(peSections(damaged).empty());
}

TEST(SlotPatcher, PacksAWindowsLibraryAndLeavesItsDebugInformationAlone) {
    std::string image = pluginImage();
    const std::vector<ImageSection> before = peSections(image);
    const std::string debug = image.substr(before[3].offset, before[3].size);

    packLibrary(image, {"Packed_pe", "Cat", "[settings]\nname=Packed_pe\n", false});
    const SlotContents slots = readSlots(image);
    EXPECT_EQ(slots.resource, resourceBytes("Packed_pe", "Cat"));
    EXPECT_EQ(nameSlotText(slots.nameSlot), "Packed_pe");
    EXPECT_EQ(codeSlotForm(slots.codeSlot), CodeForm::Enciphered);
    uint64_t size = 0;
    const char* resource = findPeResource(image, "PIPL", 16000, 1033, &size);
    ASSERT_NE(resource, nullptr);
    EXPECT_EQ(std::string(resource, size), resourceBytes("Packed_pe", "Cat"));
    EXPECT_TRUE(image.substr(before[3].offset, before[3].size) == debug);
}

TEST(SlotPatcher, AWindowsLibraryWithoutItsResourceIsRefused) {
    const std::string resource = resourceBytes(kDefaultEffectName, kDefaultCategory);
    struct Case {
        const char* what;
        std::string image;
    };
    const Case cases[] = {
        {"no resource directory", makePe({{".rdata", slots() + resource}})},
        {"another id",
         makePe({{".rdata", slots()}, {".rsrc", resourceSection(1, "PIPL", 16001, 1033, resource)}},
                1)},
        {"cut short",
         makePe({{".rdata", slots()},
                 {".rsrc", resourceSection(1, "PIPL", 16000, 1033, resource.substr(0, 300))}},
                1)},
    };
    for (const Case& c : cases) {
        std::string image = c.image;
        EXPECT_THROW(packLibrary(image, {"Name", "", "code", true}), std::runtime_error) << c.what;
        EXPECT_TRUE(image == c.image) << c.what;
    }
}

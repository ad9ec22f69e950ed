#include "effect/Parser.h"
#include "resources/BinaryImage.h"
#include "resources/PropertyResource.h"
#include "resources/SlotPatcher.h"
#include "resources/Slots.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

using namespace glfx;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

namespace {

uint32_t le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

std::string reversed(const uint8_t* p) {
    return {char(p[3]), char(p[2]), char(p[1]), char(p[0])};
}

std::string slotText(const char* text, char filler) {
    std::string s(text);
    s.push_back('\0');
    s.resize(kNameSlotSize, filler);
    return s;
}

// A stand-in for a library file: the three blocks between unrelated bytes.
std::string fakeLibrary() {
    const auto resource = buildPropertyResource(kDefaultEffectName, kDefaultCategory);
    std::string image(1000, '\x55');
    image.append(reinterpret_cast<const char*>(resource.data()), resource.size());
    image.append(333, '\x01');
    image.append(GLFX_NAME_SLOT_TAG, kSlotTagSize);
    image.append(slotText(kDefaultEffectName, '#'));
    image.append(77, '\x02');
    image.append(GLFX_CODE_SLOT_TAG, kSlotTagSize);
    std::string code(kCodeTemplateTag);
    code.resize(kCodeSlotSize, '#');
    image.append(code);
    image.append(10, '\x03');
    return image;
}

} // namespace

TEST(PropertyResource, LayoutOfEveryProperty) {
    const auto r = buildPropertyResource(kDefaultEffectName, kDefaultCategory);
    ASSERT_EQ(r.size(), 346u);
    EXPECT_EQ(r[0] | r[1] << 8, 1);
    EXPECT_EQ(le32(&r[2]), 0u);
    ASSERT_EQ(le32(&r[6]), 12u);

    struct Expected {
        const char* key;
        uint32_t length;
    } expected[] = {{"kind", 4}, {"name", 32}, {"catg", 32}, {"8664", 16},
                    {"ePVR", 4}, {"eSVR", 4},  {"eVER", 4},  {"eINF", 2},
                    {"eGLO", 4}, {"eGL2", 4},  {"eMNA", 32}, {"aeFL", 4}};
    size_t at = 10;
    std::vector<std::string> data;
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.key);
        ASSERT_LE(at + 16, r.size());
        EXPECT_EQ(reversed(&r[at]), "8BIM");
        EXPECT_EQ(reversed(&r[at + 4]), e.key);
        EXPECT_EQ(le32(&r[at + 8]), 0u);
        ASSERT_EQ(le32(&r[at + 12]), e.length);
        data.emplace_back(reinterpret_cast<const char*>(&r[at + 16]), e.length);
        at += 16 + (e.length + 3) / 4 * 4;
    }
    EXPECT_EQ(at, r.size());
    EXPECT_EQ(data[0], "TKFe");
    EXPECT_EQ(data[1], "\x13" + slotText("Quadra_remapping_fx", '#'));
    EXPECT_EQ(data[2], "\x03" + slotText("ZEL", '\0'));
    EXPECT_EQ(data[3], std::string("EntryPointFunc\0\0", 16));
    EXPECT_EQ(data[4], std::string("\x02\0\0\0", 4));
    EXPECT_EQ(data[5], std::string("\x0d\0\0\0", 4));
    EXPECT_EQ(le32(reinterpret_cast<const uint8_t*>(data[6].data())), 0x00100001u);
    EXPECT_EQ(data[7], std::string("\0\0", 2));
    EXPECT_EQ(le32(reinterpret_cast<const uint8_t*>(data[8].data())), 0x06000006u);
    EXPECT_EQ(le32(reinterpret_cast<const uint8_t*>(data[9].data())), 0x00009408u);
    EXPECT_EQ(data[10], data[1]);
    EXPECT_EQ(le32(reinterpret_cast<const uint8_t*>(data[11].data())), 8u);
}

TEST(Slots, TemplateLibraryContents) {
    EXPECT_EQ(nameSlotBytes(), slotText("Quadra_remapping_fx", '#'));
    const std::string code = codeSlotBytes();
    ASSERT_EQ(code.size(), kCodeSlotSize);
    EXPECT_EQ(codeSlotForm(code), CodeForm::Template);
    const auto expected = buildPropertyResource(kDefaultEffectName, kDefaultCategory);
    EXPECT_EQ(propertyResourceBytes(),
              std::string(reinterpret_cast<const char*>(expected.data()), expected.size()));
}

TEST(Slots, EffectNameStopsAtTheFirstByteBelow32AsSigned) {
    const struct {
        std::string slot, name, text;
    } cases[] = {
        {slotText("Quadra_remapping_fx", '#'), "Quadra_remapping_fx", "Quadra_remapping_fx"},
        {"Quadra\tremapping", "Quadra", "Quadra\tremapping"},
        {"caf\xC3\xA9", "caf", "caf\xC3\xA9"},
        {std::string(31, 'n'), std::string(31, 'n'), std::string(31, 'n')},
        {std::string("\0abc", 4), "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(effectNameFromSlot(c.slot), c.name);
        EXPECT_EQ(nameSlotText(c.slot), c.text);
    }
}

TEST(SlotPatcher, PacksNameCategoryAndEncipheredCode) {
    std::string image = fakeLibrary();
    const size_t size = image.size();
    const std::string code = "[settings]\nname=Blur\n[ps0]\nvoid main(){}\n";
    packLibrary(image, {"Blur it", "Stylize", code, false});
    ASSERT_EQ(image.size(), size);

    const SlotContents slots = readSlots(image);
    EXPECT_EQ(slots.nameSlot, slotText("Blur it", '#'));
    EXPECT_EQ(slots.resource.substr(kResourceNameOffset, 32), "\x07" + slotText("Blur it", '#'));
    EXPECT_EQ(slots.resource.substr(kResourceMatchNameOffset, 32),
              slots.resource.substr(kResourceNameOffset, 32));
    EXPECT_EQ(slots.resource.substr(kResourceCategoryOffset, 32),
              "\x07" + slotText("Stylize", '\0'));
    ASSERT_EQ(codeSlotForm(slots.codeSlot), CodeForm::Enciphered);
    EXPECT_EQ(decipherCode(slots.codeSlot, effectNameFromSlot(slots.nameSlot)), code);
    EXPECT_EQ(image.substr(0, 1000), std::string(1000, '\x55')) << "nothing else is touched";

    // Packing again finds the slots by their tags, not by the template contents.
    packLibrary(image, {"Second", "", "[settings]\nname=S\n", false});
    EXPECT_EQ(nameSlotText(readSlots(image).nameSlot), "Second");
}

TEST(SlotPatcher, RefusalsLeaveTheImageUntouched) {
    const std::string marker("\x12\x13\x14", 3);
    const struct {
        PackRequest request;
        const char* message;
    } cases[] = {
        {{std::string(32, 'n'), "", "x", false}, "32 bytes"},
        {{"", "", "x", false}, "empty"},
        {{"tab\there", "", "x", false}, "0x09 at position 3"},
        {{"caf\xC3\xA9", "", "x", false}, "0xc3"},
        {{"del\x7f", "", "x", false}, "0x7f at position 3"},
        {{"ok", std::string(40, 'c'), "x", false}, "category"},
        {{"ok", "", std::string(kCodeSlotSize - 5, 'a'), false}, "when enciphered"},
        {{"ok", "", std::string(kCodeSlotSize + 1, 'a'), true}, "slot holds 65225"},
        {{"ok", "", "abc" + marker + "def", false}, "offset 3"},
        {{"ok", "", "##GLFX_CODE plain", true}, "another form"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::string image = fakeLibrary();
        EXPECT_THAT([&] { packLibrary(image, c.request); },
                    ThrowsMessage<std::invalid_argument>(HasSubstr(c.message)));
        EXPECT_TRUE(image == fakeLibrary());
    }
    // The largest code that fits is accepted.
    std::string image = fakeLibrary();
    EXPECT_NO_THROW(packLibrary(image, {"ok", "", std::string(kCodeSlotSize, 'a'), true}));
}

TEST(SlotPatcher, MissingOrRepeatedSlotsAreReported) {
    EXPECT_THROW(locateSlots(std::string(5000, 'x')), std::runtime_error);
    std::string doubled = fakeLibrary();
    doubled += std::string(GLFX_NAME_SLOT_TAG, kSlotTagSize) + slotText("again", '#');
    EXPECT_THAT([&] { locateSlots(doubled); },
                ThrowsMessage<std::runtime_error>(HasSubstr("2 times")));
    // A library is never searched whole (its debug information repeats the slots), and its
    // resource is laid out as the packer writes it.
    EXPECT_THAT([&] { locateSlots("\177ELF" + fakeLibrary()); },
                ThrowsMessage<std::runtime_error>(HasSubstr("section table cannot be read")));
    std::string moved = fakeLibrary();
    moved[1000 + 42] = '\x7f';
    EXPECT_THAT([&] { locateSlots(moved); }, ThrowsMessage<std::runtime_error>(HasSubstr(
                                                 "differs from a glfx one at its byte 42")));
}

TEST(BinaryImage, FindsThePropertySectionOfThisExecutable) {
    std::ifstream self("/proc/self/exe", std::ios::binary);
    ASSERT_TRUE(self);
    std::stringstream ss;
    ss << self.rdbuf();
    const std::string image = ss.str();
    uint64_t size = 0;
    const char* pipl = findSection(image, ".glfx_pipl", &size);
    ASSERT_NE(pipl, nullptr);
    ASSERT_EQ(size, kPropertyResourceSize);
    EXPECT_EQ(std::string(pipl, size), propertyResourceBytes());

    // Damaged section tables give no sections instead of reads past the end.
    for (size_t cut : {size_t(0), size_t(63), size_t(64), image.size() / 2})
        EXPECT_EQ(findSection(image.substr(0, cut), ".glfx_pipl", &size), nullptr) << cut;
    std::string garbage = image;
    std::memset(&garbage[0x28], 0xFF, 8); // section table offset far beyond the file
    EXPECT_TRUE(elfSections(garbage).empty());
}

// The resources of the built Vardion.exe, read from the file as data: the
// dialog templates, the icons, the About string and the version block; and
// the exe's headers, which say it stands alone.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/win/child_process.h"

namespace {

const WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// The exe named by VARDION_RESOURCES_EXE, so that the 64-bit test can read
// the 32-bit exe where no 32-bit program can run (resources are the same data
// in both formats); empty when none is named.
std::string OtherExe() {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("VARDION_RESOURCES_EXE", path, sizeof path);
    return length > 0 && length < sizeof path ? path : "";
}

// The exe to examine: that one, else the Vardion.exe beside this test.
const char* ExePath() {
    static const std::string path =
        OtherExe().empty() ? BesideThisProgram("Vardion.exe") : OtherExe();
    return path.c_str();
}

// Vardion.exe mapped as a data file, so nothing in it runs.
class ExeResources : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryExA(ExePath(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() {
        if (module_ != nullptr) FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(module_, nullptr) << "cannot load " << ExePath(); }

    // One resource in English (United States), in place; nullptr if absent.
    static const void* Locked(LPCSTR type, WORD id, DWORD* size) {
        HRSRC found = FindResourceExA(module_, type, MAKEINTRESOURCEA(id), kEnglishUs);
        HGLOBAL loaded = found != nullptr ? LoadResource(module_, found) : nullptr;
        *size = found != nullptr ? SizeofResource(module_, found) : 0;
        return loaded != nullptr ? LockResource(loaded) : nullptr;
    }
    // The bytes of one resource in English (United States); empty if absent.
    static std::string Bytes(LPCSTR type, WORD id) {
        DWORD size = 0;
        const void* data = Locked(type, id, &size);
        return data != nullptr ? std::string(static_cast<const char*>(data), size) : std::string();
    }

    static HMODULE module_;
};

HMODULE ExeResources::module_ = nullptr;

// A little-endian cursor over resource bytes. Reading past the end sets
// `failed` and yields zeros, so a short resource fails the checks that follow.
class Reader {
  public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}

    bool failed = false;

    size_t Offset() const { return at_; }
    void Seek(size_t offset) { at_ = offset; }
    void AlignTo4() { at_ = (at_ + 3) & ~size_t(3); }
    // A record of fixed fields, as the file holds it (little-endian, as the machine).
    template <class T>
    T Get() {
        T value{};
        if (at_ + sizeof value > bytes_.size()) return Fail(), value;
        std::memcpy(&value, bytes_.data() + at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    uint16_t U16() { return Get<uint16_t>(); }
    // A zero-terminated UTF-16 string; the resources hold only ASCII text.
    std::string Text() {
        std::string out;
        for (uint16_t c = U16(); c != 0 && !failed; c = U16()) out += c < 0x80 ? char(c) : '?';
        return out;
    }

  private:
    void Fail() {
        failed = true;
        at_ = bytes_.size();
    }
    const std::string& bytes_;
    size_t at_ = 0;
};

// ---------------------------------------------------------------------------
// Dialog templates

// A field of a template that holds either a name or 0xFFFF and an ordinal.
struct NameOrOrdinal {
    bool isOrdinal = false;
    uint16_t ordinal = 0;
    std::string name;
};

NameOrOrdinal ReadNameOrOrdinal(Reader& r) {
    NameOrOrdinal field;
    size_t start = r.Offset();
    if (r.U16() == 0xFFFF) {
        field.isOrdinal = true;
        field.ordinal = r.U16();
    } else {
        r.Seek(start);
        field.name = r.Text();
    }
    return field;
}

#pragma pack(push, 1)
// The fixed fields of an extended dialog template (DLGTEMPLATEEX) and of each
// of its items (DLGITEMTEMPLATEEX), and an entry of an icon group.
struct DialogHead {
    uint16_t version, signature;
    uint32_t helpId, exStyle, style;
    uint16_t itemCount;
    int16_t x, y, cx, cy;
};
struct ItemHead {
    uint32_t helpId, exStyle, style;
    int16_t x, y, cx, cy;
    uint32_t id;
};
struct IconEntry {
    uint8_t width, height, colourCount, reserved;
    uint16_t planes, bitCount;
    uint32_t bytes;
    uint16_t id;
};
#pragma pack(pop)

struct DialogItem : ItemHead {
    NameOrOrdinal windowClass, title;
    uint16_t creationDataSize = 0;
};

struct DialogTemplate : DialogHead {
    NameOrOrdinal menu, windowClass;
    std::string title;
    uint16_t pointSize = 0, weight = 0;
    uint8_t italic = 0, charset = 0;
    std::string typeface;
    std::vector<DialogItem> items;
    bool truncated = false;
};

// Parses an extended dialog template and its items.
DialogTemplate ParseDialog(const std::string& bytes) {
    DialogTemplate t;
    Reader r(bytes);
    static_cast<DialogHead&>(t) = r.Get<DialogHead>();
    t.menu = ReadNameOrOrdinal(r);
    t.windowClass = ReadNameOrOrdinal(r);
    t.title = r.Text();
    if (t.style & (DS_SETFONT | DS_FIXEDSYS)) {
        t.pointSize = r.U16();
        t.weight = r.U16();
        t.italic = r.Get<uint8_t>();
        t.charset = r.Get<uint8_t>();
        t.typeface = r.Text();
    }
    for (int i = 0; i < t.itemCount && !r.failed; ++i) {
        DialogItem item;
        r.AlignTo4();
        static_cast<ItemHead&>(item) = r.Get<ItemHead>();
        item.windowClass = ReadNameOrOrdinal(r);
        item.title = ReadNameOrOrdinal(r);
        item.creationDataSize = r.U16();
        r.Seek(r.Offset() + item.creationDataSize);
        t.items.push_back(item);
    }
    t.truncated = r.failed;
    return t;
}

const uint16_t kButton = 0x0080, kStatic = 0x0082, kListBox = 0x0083;
const uint32_t kNoId = 0xFFFFFFFF;  // -1, the id of every static text

struct ExpectedItem {
    uint32_t id;
    uint16_t windowClass;  // the predefined class's ordinal
    const char* text;      // nullptr when the title is the icon reference below
    uint16_t icon;
    uint32_t style;
    int16_t x, y, cx, cy;
};

struct DialogLook {
    const char* name;
    uint16_t id;
    const char* caption;
    uint32_t style, exStyle;
    int16_t cx, cy;
    const char* typeface;
    uint8_t charset;
};
struct ExpectedDialog : DialogLook {
    std::vector<ExpectedItem> items;
};

const ExpectedDialog kDialogs[] = {
    {{"About", IDD_ABOUTBOX, "About Vardion", 0x80C800C8, 0, 235, 55, "MS Shell Dlg",
      DEFAULT_CHARSET},
     {
         {kNoId, kStatic, nullptr, IDR_MAINFRAME, 0x50000003, 11, 17, 20, 20},
         {kNoId, kStatic, "Vardion Version 1.0", 0, 0x50020080, 40, 10, 119, 8},
         {kNoId, kStatic, "(C) 2026 Vardion developers", 0, 0x50020000, 40, 25, 119, 8},
         {IDOK, kButton, "OK", 0, 0x50030001, 178, 7, 50, 16},
     }},
    {{"Main", IDD_VARDION_DIALOG, "Vardion", 0x90CA00C8, WS_EX_APPWINDOW, 325, 199, "MS Shell Dlg",
      DEFAULT_CHARSET},
     {
         {IDOK, kButton, "<< Add", 0, 0x50010001, 144, 80, 50, 16},
         {IDC_UNTRUSTED_LIST, kListBox, "", 0, 0x50A10901, 199, 22, 119, 170},
         {IDC_RUNNING_LIST, kListBox, "", 0, 0x50A10103, 7, 23, 130, 169},
         {kNoId, kStatic, "Running Processes:", 0, 0x50020000, 7, 7, 150, 12},
         {kNoId, kStatic, "Untrusted Processes:", 0, 0x50020000, 200, 7, 118, 12},
     }},
    {{"Alert", IDD_ALERT, "Untrusted Process Detected", 0x80C800C0, 0, 236, 77, "MS Sans Serif",
      ANSI_CHARSET},
     {
         {IDC_VIEW, kButton, "View", 0, 0x50010000, 124, 48, 105, 22},
         {IDC_IGNORE, kButton, "Ignore", 0, 0x50010000, 7, 48, 105, 22},
         {kNoId, kStatic, "The following untrusted processes have been detected:", 0, 0x50020000, 7,
          16, 112, 25},
         {IDC_ALERT_LIST, kListBox, "", 0, 0x50A10103, 125, 7, 104, 38},
     }},
};

void PrintTo(const ExpectedDialog& dialog, std::ostream* out) {
    *out << dialog.name;
}

class DialogResource : public ExeResources, public ::testing::WithParamInterface<ExpectedDialog> {};

// The header, then each control in tab order.
TEST_P(DialogResource, TemplateIsAsDesigned) {
    const ExpectedDialog& want = GetParam();
    DialogTemplate t = ParseDialog(Bytes(RT_DIALOG, want.id));
    ASSERT_FALSE(t.truncated);
    EXPECT_EQ(t.version, 1);
    EXPECT_EQ(t.signature, 0xFFFF);
    EXPECT_EQ(t.helpId, 0u);
    EXPECT_EQ(t.exStyle, want.exStyle);
    EXPECT_EQ(t.style, want.style);
    EXPECT_EQ(t.itemCount, want.items.size());
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.cx, want.cx);
    EXPECT_EQ(t.cy, want.cy);
    EXPECT_TRUE(!t.menu.isOrdinal && t.menu.name.empty()) << "the template names a menu";
    EXPECT_TRUE(!t.windowClass.isOrdinal && t.windowClass.name.empty())
        << "the template names a window class";
    EXPECT_EQ(t.title, want.caption);
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.weight, 0);
    EXPECT_EQ(t.italic, 0);
    EXPECT_EQ(t.charset, want.charset);
    EXPECT_EQ(t.typeface, want.typeface);
    ASSERT_EQ(t.items.size(), want.items.size());
    for (size_t i = 0; i < t.items.size(); ++i) {
        const DialogItem& got = t.items[i];
        const ExpectedItem& item = want.items[i];
        SCOPED_TRACE("control " + std::to_string(i + 1));
        EXPECT_EQ(got.helpId, 0u);
        EXPECT_EQ(got.exStyle, 0u);
        EXPECT_EQ(got.style, item.style);
        EXPECT_EQ(got.x, item.x);
        EXPECT_EQ(got.y, item.y);
        EXPECT_EQ(got.cx, item.cx);
        EXPECT_EQ(got.cy, item.cy);
        EXPECT_EQ(got.id, item.id);
        EXPECT_TRUE(got.windowClass.isOrdinal);
        EXPECT_EQ(got.windowClass.ordinal, item.windowClass);
        if (item.text != nullptr) {
            EXPECT_FALSE(got.title.isOrdinal);
            EXPECT_EQ(got.title.name, item.text);
        } else {
            EXPECT_TRUE(got.title.isOrdinal) << "the icon is not referenced by number";
            EXPECT_EQ(got.title.ordinal, item.icon);
        }
        EXPECT_EQ(got.creationDataSize, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Templates, DialogResource, ::testing::ValuesIn(kDialogs),
                         [](const ::testing::TestParamInfo<ExpectedDialog>& param) {
                             return std::string(param.param.name);
                         });

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

// The About box's two lines are statics one text line high: a line wider
// than its control would wrap out of sight. Measured in the dialog's own font.
TEST_F(ExeResources, AboutLinesFitTheirControls) {
    DWORD size = 0;
    const void* about = Locked(RT_DIALOG, IDD_ABOUTBOX, &size);
    ASSERT_NE(about, nullptr);
    HWND dialog = CreateDialogIndirectParamA(module_, static_cast<LPCDLGTEMPLATEA>(about), nullptr,
                                             QuietDialogProc, 0);
    ASSERT_NE(dialog, nullptr) << "cannot create the About box (is there a display?)";
    int measured = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_LEFT) continue;
        char className[16] = {}, text[128] = {};
        GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "Static") != 0) continue;
        GetWindowTextA(child, text, sizeof text);
        RECT client{};
        GetClientRect(child, &client);
        HDC dc = GetDC(child);
        HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(child, WM_GETFONT, 0, 0));
        HGDIOBJ previous = SelectObject(dc, font);
        SIZE extent{};
        GetTextExtentPoint32A(dc, text, lstrlenA(text), &extent);
        SelectObject(dc, previous);
        ReleaseDC(child, dc);
        EXPECT_LE(extent.cx, client.right) << '"' << text << "\" is too wide";
        ++measured;
    }
    EXPECT_EQ(measured, 2);
    DestroyWindow(dialog);
}

// ---------------------------------------------------------------------------
// Icons

std::vector<IconEntry> ParseIconGroup(const std::string& bytes) {
    Reader r(bytes);
    std::vector<IconEntry> entries;
    if (r.U16() != 0 || r.U16() != 1) return entries;
    int count = r.U16();
    for (int i = 0; i < count && !r.failed; ++i) {
        IconEntry e = r.Get<IconEntry>();
        if (!r.failed) entries.push_back(e);
    }
    return entries;
}

// One icon image as the system stores it: a DIB with the colour rows and a
// 1-bit mask, both bottom-up.
struct IconImage {
    BITMAPINFOHEADER header{};
    std::vector<RGBQUAD> palette;
    std::string colourRows, maskRows;
    bool complete = false;

    int Size() const { return header.biWidth; }
    int ColourStride() const { return (header.biWidth * header.biBitCount + 31) / 32 * 4; }
    int MaskStride() const { return (header.biWidth + 31) / 32 * 4; }
    // The palette index of a pixel, counting rows from the top.
    int Index(int x, int y) const {
        const int row = Size() - 1 - y;
        uint8_t byte = uint8_t(colourRows[row * ColourStride() + x * header.biBitCount / 8]);
        if (header.biBitCount == 8) return byte;
        return x % 2 == 0 ? byte >> 4 : byte & 0x0F;
    }
    bool Transparent(int x, int y) const {
        const int row = Size() - 1 - y;
        return (uint8_t(maskRows[row * MaskStride() + x / 8]) & (0x80 >> (x % 8))) != 0;
    }
    COLORREF Colour(int x, int y) const {
        const RGBQUAD& q = palette[Index(x, y)];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
};

IconImage ParseIconImage(const std::string& bytes) {
    IconImage image;
    if (bytes.size() < sizeof(BITMAPINFOHEADER)) return image;
    std::memcpy(&image.header, bytes.data(), sizeof image.header);
    const BITMAPINFOHEADER& h = image.header;
    if (h.biSize != sizeof h || h.biWidth <= 0 || h.biHeight != 2 * h.biWidth) return image;
    size_t at = h.biSize;
    size_t colours = h.biBitCount <= 8 ? (h.biClrUsed != 0 ? h.biClrUsed : 1u << h.biBitCount) : 0;
    image.palette.resize(colours);
    const size_t colourBytes = size_t(image.ColourStride()) * h.biWidth;
    const size_t maskBytes = size_t(image.MaskStride()) * h.biWidth;
    if (bytes.size() != at + colours * sizeof(RGBQUAD) + colourBytes + maskBytes) return image;
    if (colours != 0) std::memcpy(image.palette.data(), bytes.data() + at, colours * 4);
    at += colours * sizeof(RGBQUAD);
    image.colourRows = bytes.substr(at, colourBytes);
    image.maskRows = bytes.substr(at + colourBytes, maskBytes);
    image.complete = true;
    return image;
}

struct ExpectedImage {
    int size, bits;
};

class IconResources : public ExeResources {
  protected:
    void ExpectGroup(WORD group, const std::vector<ExpectedImage>& want) {
        std::vector<IconEntry> entries = ParseIconGroup(Bytes(RT_GROUP_ICON, group));
        ASSERT_EQ(entries.size(), want.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            const IconEntry& e = entries[i];
            SCOPED_TRACE("group " + std::to_string(group) + ", image " + std::to_string(i + 1));
            EXPECT_EQ(e.width, want[i].size);
            EXPECT_EQ(e.height, want[i].size);
            EXPECT_EQ(e.colourCount, want[i].bits == 4 ? 16 : 0);
            EXPECT_EQ(e.planes, 1);
            EXPECT_EQ(e.bitCount, want[i].bits);

            const std::string bytes = Bytes(RT_ICON, e.id);
            EXPECT_EQ(bytes.size(), e.bytes);
            IconImage image = ParseIconImage(bytes);
            ASSERT_TRUE(image.complete) << "not an icon DIB of doubled height with its mask";
            EXPECT_EQ(image.header.biWidth, want[i].size);
            EXPECT_EQ(image.header.biPlanes, 1);
            EXPECT_EQ(image.header.biBitCount, want[i].bits);
            EXPECT_EQ(image.header.biCompression, DWORD(BI_RGB));
            if (want[i].bits <= 8) {
                EXPECT_EQ(image.palette.size(), 1u << want[i].bits);
            }
            EXPECT_NE(image.maskRows.find_first_not_of('\0'), std::string::npos)
                << "the mask leaves no pixel transparent";

            // The system accepts the image as an icon.
            HICON icon = CreateIconFromResourceEx(
                reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())), DWORD(bytes.size()), TRUE,
                0x00030000, 0, 0, LR_DEFAULTCOLOR);
            EXPECT_NE(icon, nullptr);
            if (icon != nullptr) DestroyIcon(icon);
        }
    }

    IconImage TrayImage(WORD group) {
        std::vector<IconEntry> entries = ParseIconGroup(Bytes(RT_GROUP_ICON, group));
        if (entries.size() != 1) return IconImage();
        return ParseIconImage(Bytes(RT_ICON, entries[0].id));
    }
};

// The application icon has nine images, in depth then size order; each tray
// icon one 32-pixel image in 16 colours.
TEST_F(IconResources, GroupsHoldTheirImagesInDepthThenSizeOrder) {
    ExpectGroup(
        IDR_MAINFRAME,
        {{48, 4}, {32, 4}, {16, 4}, {48, 8}, {32, 8}, {16, 8}, {48, 24}, {32, 24}, {16, 24}});
    ExpectGroup(IDI_TRAY_NORMAL, {{32, 4}});
    ExpectGroup(IDI_TRAY_ALERT, {{32, 4}});
}

// The scan flashes the tray between the two images: they must cover the same
// pixels, and the alert image is the normal one with red turned blue.
TEST_F(IconResources, AlertTrayImageIsTheNormalOneRecoloured) {
    IconImage normal = TrayImage(IDI_TRAY_NORMAL), alert = TrayImage(IDI_TRAY_ALERT);
    ASSERT_TRUE(normal.complete && alert.complete);
    ASSERT_EQ(normal.header.biBitCount, 4);
    ASSERT_EQ(alert.header.biBitCount, 4);
    EXPECT_EQ(normal.maskRows, alert.maskRows);
    const std::map<COLORREF, COLORREF> recolour = {
        {RGB(0xFF, 0, 0), RGB(0, 0, 0xFF)},
        {RGB(0x80, 0, 0), RGB(0, 0, 0x80)},
        {RGB(0xFF, 0, 0xFF), RGB(0, 0x80, 0x80)},
        {RGB(0, 0, 0), RGB(0, 0, 0)},
    };
    int left = 32, right = -1, top = 32, bottom = -1;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (normal.Transparent(x, y)) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
            auto mapped = recolour.find(normal.Colour(x, y));
            ASSERT_NE(mapped, recolour.end()) << "unexpected colour at " << x << ", " << y;
            EXPECT_EQ(alert.Colour(x, y), mapped->second) << "at " << x << ", " << y;
        }
    }
    EXPECT_EQ(left, 1);
    EXPECT_EQ(right, 30);
    EXPECT_EQ(top, 2);
    EXPECT_EQ(bottom, 31);
}

// ---------------------------------------------------------------------------
// The string table, the version block and the inventory

TEST_F(ExeResources, AboutStringIsTheOnlyString) {
    char text[64] = {};
    EXPECT_EQ(LoadStringA(module_, IDS_ABOUTBOX, text, sizeof text), 17);
    EXPECT_STREQ(text, "&About Vardion...");
    for (UINT id = (IDS_ABOUTBOX / 16) * 16; id < (IDS_ABOUTBOX / 16 + 1) * 16; ++id) {
        if (id != IDS_ABOUTBOX) {
            EXPECT_EQ(LoadStringA(module_, id, text, sizeof text), 0) << id;
        }
    }
}

// The keys of one block of the version resource, in file order, with their
// text values. The resource is the 32-bit (UTF-16) form of VS_VERSIONINFO.
struct VersionNode {
    std::string key;
    std::string text;
    std::string value;  // the raw value bytes
    std::vector<VersionNode> children;
};

VersionNode ParseVersionNode(const std::string& bytes, size_t start, bool& ok) {
    VersionNode node;
    Reader r(bytes);
    r.Seek(start);
    const size_t length = r.U16();
    const size_t valueLength = r.U16();
    const uint16_t type = r.U16();
    node.key = r.Text();
    r.AlignTo4();
    const size_t end = start + length;
    if (r.failed || length < 6 || end > bytes.size()) {
        ok = false;
        return node;
    }
    const size_t valueBytes = type == 1 ? valueLength * 2 : valueLength;
    node.value = bytes.substr(r.Offset(), std::min(valueBytes, end - r.Offset()));
    if (type == 1) {
        Reader text(node.value);
        node.text = text.Text();
    }
    r.Seek(r.Offset() + valueBytes);
    r.AlignTo4();
    while (ok && r.Offset() < end) {
        node.children.push_back(ParseVersionNode(bytes, r.Offset(), ok));
        Reader child(bytes);
        child.Seek(r.Offset());
        size_t childLength = child.U16();
        if (childLength == 0) break;
        r.Seek(r.Offset() + childLength);
        r.AlignTo4();
    }
    return node;
}

// The version block as the system's version calls read it from the file.
class VersionInfo : public ExeResources {
  protected:
    void SetUp() override {
        ExeResources::SetUp();
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(ExePath(), &ignored);
        ASSERT_NE(size, 0u);
        block.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(ExePath(), 0, size, block.data()));
    }
    std::vector<char> block;
};

TEST_F(VersionInfo, VersionFixedPart) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof *fixed);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, DWORD(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
    EXPECT_EQ(fixed->dwFileDateMS, 0u);
    EXPECT_EQ(fixed->dwFileDateLS, 0u);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u) << "one translation entry";
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1252);
}

// The version strings in the order of the block, with their values.
const std::pair<const char*, const char*> kVersionStrings[] = {
    {"CompanyName", "Vardion developers"},
    {"FileDescription", "Vardion process watcher"},
    {"FileVersion", "1.0.0.1"},
    {"InternalName", "Vardion.exe"},
    {"LegalCopyright", "Copyright (C) 2026 Vardion developers"},
    {"OriginalFilename", "Vardion.exe"},
    {"ProductName", "Vardion"},
    {"ProductVersion", "1.0.0.1"},
};

// The raw block holds one string table with these keys in this order, and the
// system's version calls answer each key with its value.
TEST_F(VersionInfo, VersionBlockHoldsOneStringTableWithTheKeysInOrder) {
    const std::string bytes = Bytes(RT_VERSION, VS_VERSION_INFO);
    bool ok = true;
    VersionNode root = ParseVersionNode(bytes, 0, ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(root.key, "VS_VERSION_INFO");
    EXPECT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
    ASSERT_EQ(root.children.size(), 2u);
    const VersionNode& strings = root.children[0];
    const VersionNode& vars = root.children[1];
    EXPECT_EQ(vars.key, "VarFileInfo");
    ASSERT_EQ(vars.children.size(), 1u);
    EXPECT_EQ(vars.children[0].key, "Translation");
    EXPECT_EQ(vars.children[0].value, std::string("\x09\x04\xe4\x04", 4));

    EXPECT_EQ(strings.key, "StringFileInfo");
    ASSERT_EQ(strings.children.size(), 1u);
    EXPECT_EQ(strings.children[0].key, "040904e4");
    const std::vector<VersionNode>& entries = strings.children[0].children;
    ASSERT_EQ(entries.size(), std::size(kVersionStrings));
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto& [key, expected] = kVersionStrings[i];
        EXPECT_EQ(entries[i].key, key);
        EXPECT_EQ(entries[i].text, expected) << key;
        std::string path = std::string("\\StringFileInfo\\040904e4\\") + key;
        char* value = nullptr;
        UINT length = 0;
        EXPECT_TRUE(
            VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
            << key;
        EXPECT_STREQ(value, expected) << key;
    }
}

// Every resource of the module, by type, name and language.
struct Inventory {
    std::map<uintptr_t, std::set<uintptr_t>> namesByType;
    std::set<WORD> languages;
    bool namedByString = false;
};

BOOL CALLBACK OnLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<Inventory*>(param)->languages.insert(language);
    return TRUE;
}

BOOL CALLBACK OnName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
    Inventory* inventory = reinterpret_cast<Inventory*>(param);
    if (!IS_INTRESOURCE(type) || !IS_INTRESOURCE(name)) {
        inventory->namedByString = true;
        return TRUE;
    }
    inventory->namesByType[reinterpret_cast<uintptr_t>(type)].insert(
        reinterpret_cast<uintptr_t>(name));
    EnumResourceLanguagesA(module, type, name, OnLanguage, param);
    return TRUE;
}

BOOL CALLBACK OnType(HMODULE module, LPSTR type, LONG_PTR param) {
    EnumResourceNamesA(module, type, OnName, param);
    return TRUE;
}

TEST_F(ExeResources, OnlyTheDesignedResourcesAllInEnglishUs) {
    Inventory inventory;
    EnumResourceTypesA(module_, OnType, reinterpret_cast<LONG_PTR>(&inventory));
    EXPECT_FALSE(inventory.namedByString) << "a resource type or name is a string";
    EXPECT_EQ(inventory.languages, std::set<WORD>{kEnglishUs});

    auto type = [](LPCSTR t) { return reinterpret_cast<uintptr_t>(t); };
    std::set<uintptr_t> types;
    for (const auto& entry : inventory.namesByType) types.insert(entry.first);
    EXPECT_EQ(types, (std::set<uintptr_t>{type(RT_ICON), type(RT_DIALOG), type(RT_STRING),
                                          type(RT_GROUP_ICON), type(RT_VERSION)}));
    EXPECT_EQ(inventory.namesByType[type(RT_DIALOG)],
              (std::set<uintptr_t>{IDD_ABOUTBOX, IDD_VARDION_DIALOG, IDD_ALERT}));
    EXPECT_EQ(inventory.namesByType[type(RT_GROUP_ICON)],
              (std::set<uintptr_t>{IDR_MAINFRAME, IDI_TRAY_NORMAL, IDI_TRAY_ALERT}));
    EXPECT_EQ(inventory.namesByType[type(RT_STRING)], std::set<uintptr_t>{IDS_ABOUTBOX / 16 + 1});
    EXPECT_EQ(inventory.namesByType[type(RT_VERSION)], std::set<uintptr_t>{1});
    EXPECT_EQ(inventory.namesByType[type(RT_ICON)].size(), 11u) << "9 + 1 + 1 images";
}

// ---------------------------------------------------------------------------
// The exe stands alone

// The DLLs that every Windows has: nothing of the MinGW runtime (libstdc++,
// libgcc, winpthread), nothing that would have to ship beside the exe.
const std::set<std::string> kSystemDlls = {
    "advapi32.dll", "comctl32.dll", "gdi32.dll",   "kernel32.dll", "msvcrt.dll",
    "ntdll.dll",    "psapi.dll",    "shell32.dll", "user32.dll",   "version.dll"};

struct PeHeaders {
    uint16_t machine = 0, magic = 0, subsystem = 0;
    std::vector<std::string> imports;  // the DLLs the import table names
};

// The headers of a PE file and the DLLs it imports; zeros where it is none.
PeHeaders ReadPe(const std::string& file) {
    PeHeaders pe;
    Reader r(file);
    r.Seek(0x3C);
    r.Seek(r.Get<uint32_t>());
    if (r.Get<uint32_t>() != 0x00004550) return pe;  // "PE\0\0"
    pe.machine = r.U16();
    const uint16_t sections = r.U16();
    r.Seek(r.Offset() + 12);
    const uint16_t optionalSize = r.U16();
    const size_t optional = r.Offset() + 2;
    r.Seek(optional);
    pe.magic = r.U16();
    r.Seek(optional + 68);
    pe.subsystem = r.U16();
    // The import table's entry among the data directories, which follow 96
    // bytes of fixed fields in PE32 and 112 in PE32+.
    r.Seek(optional + (pe.magic == 0x20b ? 112 : 96) + 8);
    const uint32_t imports = r.Get<uint32_t>();
    // Where an address of the loaded image lies in the file: in the section that holds it.
    auto inFile = [&](uint32_t address) {
        Reader s(file);
        for (uint16_t i = 0; i < sections; ++i) {
            s.Seek(optional + optionalSize + i * 40u + 8);
            uint32_t size = s.Get<uint32_t>(), start = s.Get<uint32_t>();
            uint32_t rawSize = s.Get<uint32_t>(), raw = s.Get<uint32_t>();
            if (address >= start && address - start < std::max(size, rawSize)) {
                return size_t{raw} + (address - start);
            }
        }
        return file.size();
    };
    // Each DLL has a descriptor of 20 bytes, its name's address at 12; a zero one ends them.
    for (size_t entry = inFile(imports); imports != 0 && !r.failed; entry += 20) {
        r.Seek(entry + 12);
        const size_t name = inFile(r.Get<uint32_t>());
        if (r.failed || name >= file.size()) break;
        pe.imports.push_back(file.substr(name, file.find('\0', name) - name));
    }
    return pe;
}

// What a user runs is the exe alone: a program of the windows subsystem, in
// the format of its machine (PE32 on x86, PE32+ on x64), that imports only DLLs
// every Windows has.
TEST(Standalone, ProgramOfTheWindowsSubsystemThatImportsSystemDllsOnly) {
    std::ifstream in(ExePath(), std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(file.empty()) << "cannot read " << ExePath();
    PeHeaders pe = ReadPe(file);
    EXPECT_EQ(pe.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_EQ(pe.magic, pe.machine == IMAGE_FILE_MACHINE_AMD64 ? 0x20b : 0x10b);
    const WORD own = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    if (OtherExe().empty()) {
        EXPECT_EQ(pe.machine, own) << "the Vardion.exe of another build";
    }
    ASSERT_FALSE(pe.imports.empty());
    for (std::string dll : pe.imports) {
        std::transform(dll.begin(), dll.end(), dll.begin(), [](char c) {
            return static_cast<char>(::tolower(static_cast<unsigned char>(c)));
        });
        EXPECT_EQ(kSystemDlls.count(dll), 1u) << "a DLL that is not part of Windows: " << dll;
    }
}

}  // namespace

// Loads the plug-in named on the command line, asks its FsExtractCustomIcon
// for the icon of each well-known path and compares the image with the icon
// resource of the expected id, loaded from the plug-in directly. The images
// of all icon ids are told apart first, so that equal bits name exactly one
// id. Exits non-zero when a check failed.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Checks.h"

namespace {

typedef int(__stdcall* tFsExtractCustomIcon)(char*, int, HICON*);

// The colour and mask bits of an icon as 32-bit pixels, prefixed with its size.
std::vector<unsigned char> imageOf(HICON icon) {
    std::vector<unsigned char> image;
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return image;
    HDC dc = GetDC(nullptr);
    for (HBITMAP bitmap : {info.hbmColor, info.hbmMask}) {
        BITMAP bm{};
        if (bitmap == nullptr || !GetObjectA(bitmap, sizeof bm, &bm)) continue;
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = bm.bmWidth;
        bi.bmiHeader.biHeight = bm.bmHeight;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        std::vector<unsigned char> bits(static_cast<std::size_t>(bm.bmWidth) * bm.bmHeight * 4);
        GetDIBits(dc, bitmap, 0, bm.bmHeight, bits.data(), &bi, DIB_RGB_COLORS);
        image.push_back(static_cast<unsigned char>(bm.bmWidth));
        image.push_back(static_cast<unsigned char>(bm.bmHeight));
        image.insert(image.end(), bits.begin(), bits.end());
    }
    ReleaseDC(nullptr, dc);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return image;
}

struct Row {
    const char* path;
    int id;
};

const Row kRows[] = {
    {"\\Main", 3000},
    {"\\Email\\", 3001},
    {"\\Homebanking\\", 3002},
    {"\\Internet\\", 3003},
    {"\\Network\\", 3004},
    {"\\Key", 3005},
    {"\\Some folder\\Key", 3005},
    {"\\Windows\\", 3006},
    {"\\UnLock Keyhold", 3017},
    {"\\Lock Keyhold", 3018},
    {"\\Default Auto Type Window is OFF", 3020},
    {"\\New Entry", 3021},
    {"\\Email\\[New Entry]", 3021},
    {"\\Default Auto Type Window is ON", 3022},
    {"\\Reload Database", 3024},
};

const int kIds[] = {3000, 3001, 3002, 3003, 3004, 3005, 3006, 3007, 3017, 3018, 3020, 3021, 3022, 3023, 3024};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: icon-resource-check PLUGIN\n");
        return 2;
    }
    HMODULE plugin = LoadLibraryA(argv[1]);
    if (plugin == nullptr) {
        std::printf("FAILED: cannot load %s\n", argv[1]);
        return 1;
    }
    auto extract = reinterpret_cast<tFsExtractCustomIcon>(
        reinterpret_cast<void*>(GetProcAddress(plugin, "FsExtractCustomIcon")));
    if (extract == nullptr) {
        std::printf("FAILED: no FsExtractCustomIcon\n");
        return 1;
    }
    for (int pixels : {16, 32}) {
        std::vector<std::vector<unsigned char>> images;
        for (int id : kIds) {
            HICON icon = static_cast<HICON>(LoadImageA(plugin, MAKEINTRESOURCEA(id), IMAGE_ICON, pixels, pixels, 0));
            check(icon != nullptr, "resource " + std::to_string(id) + " at " + std::to_string(pixels));
            images.push_back(imageOf(icon));
            check(!images.back().empty() && images.back()[0] == pixels,
                  "size of resource " + std::to_string(id) + " at " + std::to_string(pixels));
            if (icon) DestroyIcon(icon);
        }
        for (std::size_t a = 0; a < images.size(); ++a)
            for (std::size_t b = a + 1; b < images.size(); ++b)
                check(images[a] != images[b], "resources " + std::to_string(kIds[a]) + " and " +
                                                  std::to_string(kIds[b]) + " look the same");
        for (const Row& row : kRows) {
            std::string path = row.path;
            HICON icon = nullptr;
            const int result = extract(&path[0], pixels == 16 ? 1 : 0, &icon);
            const std::string what = std::string(row.path) + " at " + std::to_string(pixels);
            check(result == 1 && icon != nullptr, what + ": extracted");
            std::vector<unsigned char> image = imageOf(icon);
            int matched = 0;
            for (std::size_t i = 0; i < images.size(); ++i)
                if (image == images[i]) matched = kIds[i];
            check(matched == row.id, what + ": resource " + std::to_string(matched) + ", expected " +
                                         std::to_string(row.id));
            if (icon) DestroyIcon(icon);
        }
        std::string parent = "\\Email\\..";
        HICON icon = nullptr;
        check(extract(&parent[0], 1, &icon) == 0 && icon == nullptr, "parent link at " + std::to_string(pixels));
    }
    std::printf(g_failed == 0 ? "icons match their resources\n" : "%d checks failed\n", g_failed.load());
    return g_failed == 0 ? 0 : 1;
}

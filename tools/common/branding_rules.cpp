#include "branding_rules.h"

#include <algorithm>

namespace branding {
namespace {

std::uint32_t le(const std::string& b, std::size_t at, int size)
{
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

}  // namespace

std::string check_picture(const std::string& bytes)
{
    if (bytes.size() < 30 || bytes.compare(0, 2, "BM") != 0) return "is not a BMP file";
    const std::uint32_t width = le(bytes, 18, 4);
    std::int64_t height = le(bytes, 22, 4);
    const std::uint32_t bits = le(bytes, 28, 2);
    if (height > 2147483647) height = 4294967296LL - height;  // a top-down picture
    if (width == 510 && height == 437 && bits == 24) return std::string();
    return "is " + std::to_string(width) + " x " + std::to_string(height) + " with " + std::to_string(bits) +
           " bits per pixel; the dialog's picture must be 510 x 437 with 24 bits per pixel (the dialog "
           "stretches it to its whole client area)";
}

std::string read_icon(const std::string& bytes, std::vector<icon_image>& images)
{
    images.clear();
    const std::size_t count = bytes.size() >= 6 ? le(bytes, 4, 2) : 0;
    if (count == 0 || le(bytes, 0, 4) != 0x00010000 || bytes.size() < 6 + 16 * count) return "is not an icon file";
    std::vector<int> sizes;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 6 + 16 * i;
        const std::uint32_t size = le(bytes, at + 8, 4), offset = le(bytes, at + 12, 4);
        if (offset > bytes.size() || size > bytes.size() - offset) return "is not an icon file";
        icon_image image;
        image.width = static_cast<std::uint8_t>(bytes[at]);
        image.height = static_cast<std::uint8_t>(bytes[at + 1]);
        image.colors = static_cast<std::uint8_t>(bytes[at + 2]);
        image.planes = static_cast<std::uint16_t>(le(bytes, at + 4, 2));
        image.bit_count = static_cast<std::uint16_t>(le(bytes, at + 6, 2));
        image.bytes = bytes.substr(offset, size);
        images.push_back(image);
        const int pixels = image.width == 0 ? 256 : image.width;
        if (std::find(sizes.begin(), sizes.end(), pixels) == sizes.end()) sizes.push_back(pixels);
    }
    for (int needed : {48, 32, 16}) {
        if (std::find(sizes.begin(), sizes.end(), needed) != sizes.end()) continue;
        std::string listed;
        for (int s : sizes) listed += (listed.empty() ? "" : ";") + std::to_string(s);
        return "has images of " + listed + " pixels; it needs 48, 32 and 16";
    }
    return std::string();
}

}  // namespace branding

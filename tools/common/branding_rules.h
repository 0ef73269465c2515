// What the dialog's picture and the program's icon must be: a picture of
// another size is distorted, an icon without the three sizes is blurred.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace branding {

// One image of an icon file, as its directory describes it.
struct icon_image {
    std::uint8_t width = 0, height = 0, colors = 0;  // 0 stands for 256
    std::uint16_t planes = 0, bit_count = 0;
    std::string bytes;  // the image itself (a DIB or a PNG)
};

// An empty text when `bytes` is a 24-bit BMP of 510 x 437 pixels, else what
// is wrong, after "NAME ".
std::string check_picture(const std::string& bytes);

// Reads an icon file into its images; an empty text when it holds 48, 32
// and 16 pixel images, else what is wrong, after "NAME ".
std::string read_icon(const std::string& bytes, std::vector<icon_image>& images);

}  // namespace branding

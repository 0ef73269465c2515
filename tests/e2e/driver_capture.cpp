// Pictures of the program's windows and measures of the dialog's texts: the
// "picture", "screenshot" and "metrics" operations.
#include "base/text.h"
#include "driver_json.h"
#include "driver_script.h"

namespace e2e {

namespace {

// A 24-bit bottom-up BMP file, each row padded to four bytes.
bool write_bmp(const std::wstring& path, const std::vector<DWORD>& px, int w, int h) {
    const int stride = (w * 3 + 3) & ~3;
    std::vector<unsigned char> pixels((size_t)stride * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const DWORD p = px[(size_t)(h - 1 - y) * w + x];
            unsigned char* at = &pixels[(size_t)y * stride + x * 3];
            at[0] = p & 0xFF, at[1] = (p >> 8) & 0xFF, at[2] = (p >> 16) & 0xFF;
        }
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + (DWORD)pixels.size();
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = (DWORD)pixels.size();
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    const bool written = fwrite(&file, sizeof file, 1, f) == 1 && fwrite(&info, sizeof info, 1, f) == 1 &&
                         fwrite(pixels.data(), 1, pixels.size(), f) == pixels.size();
    fclose(f);
    return written;
}

// The dialog font (MS Shell Dlg 2, 8 pt) at the screen's dpi: the JSON
// fields of its face, height and dialog base units, and its widths of
// U+0020 to U+017F.
struct FontMeasures {
    std::string fields;
    std::string widths;
};

FontMeasures font_metrics() {
    HDC dc = GetDC(nullptr);
    LOGFONTW lf = {};
    lf.lfHeight = -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72);
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpyW(lf.lfFaceName, L"MS Shell Dlg 2");
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    wchar_t face[LF_FACESIZE] = L"";
    GetTextFaceW(dc, LF_FACESIZE, face);
    const wchar_t letters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE all = {};
    GetTextExtentPoint32W(dc, letters, 52, &all);
    std::string widths;
    for (wchar_t c = 0x20; c < 0x180; ++c) {
        SIZE one = {};
        GetTextExtentPoint32W(dc, &c, 1, &one);
        widths += (widths.empty() ? "" : ",") + std::to_string(one.cx);
    }
    SelectObject(dc, previous);
    DeleteObject(font);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return {"\"dpi\":" + std::to_string(dpi) + ",\"face\":" + json_string(face) +
                ",\"height\":" + std::to_string(tm.tmHeight) + ",\"base_units\":[" +
                std::to_string((all.cx / 26 + 1) / 2) + "," + std::to_string(tm.tmHeight) + "]",
            widths};
}

}  // namespace

// Everything drawn first: repaint now, then let queued work finish. The
// window's rectangle on the screen.
RECT Driver::repainted(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    settle(false);
    RECT r;
    GetWindowRect(window, &r);
    return r;
}

void Driver::picture(const Step& s, const std::string& name, HWND window) {
    const RECT r = repainted(window ? window : dialog_);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return step_error(s, "the dialog has no size");
    const std::vector<DWORD> px = screen_pixels(r.left, r.top, w, h);
    if (!write_bmp(log_folder_ + text::utf8_to_wide(name) + L".bmp", px, w, h))
        return step_error(s, "cannot write the picture");
    step_done(s, "taken", ",\"rect\":" + json_rect(r));
}

void Driver::metrics(const Step& s) {
    const FontMeasures font = font_metrics();
    auto client = [this](int id) {
        RECT r = {};
        GetClientRect(GetDlgItem(dialog_, id), &r);
        return json_rect(r);
    };
    RECT label = {};
    if (!item_rect(process_, list(), 0, LVIR_LABEL, label)) label = RECT{};
    log_.line("{\"metrics\":{" + font.fields + ",\"message\":" + client(kMessageId) +
              ",\"button\":" + client(IDOK) + ",\"list\":" + client(kListId) + ",\"label\":" + json_rect(label) +
              ",\"widths\":[" + font.widths + "]}}");
    step_done(s, "taken");
}

// Asks run_e2e.py for a picture: writes shot-<name>.request beside the log
// and waits for shot-<name>.done.
void Driver::screenshot(const Step& s, const std::string& name, HWND window) {
    const RECT r = repainted(window ? window : dialog_);
    std::wstring base = log_folder_ + L"shot-" + text::utf8_to_wide(name);
    std::wstring done = base + L".done";
    DeleteFileW(done.c_str());
    FILE* f = _wfopen((base + L".request").c_str(), L"wb");
    if (!f) return step_error(s, "cannot write the request");
    std::string body = "{\"name\":" + json_string(name) + ",\"rect\":" + json_rect(r) + "}\n";
    fwrite(body.data(), 1, body.size(), f);
    fclose(f);
    const DWORD until = GetTickCount() + 20000;
    while (GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if ((LONG)(GetTickCount() - until) >= 0) return step_error(s, "no screenshot within 20 s");
        Sleep(20);
    }
    step_done(s, "taken", ",\"rect\":" + json_rect(r));
}

}  // namespace e2e

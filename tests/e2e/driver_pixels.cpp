// What the screen shows of the program's windows: which system icon a box
// carries and the colour a row's text is drawn in.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "driver_windows.h"

namespace e2e {

namespace {

// 32-bit top-down pixels of a bitmap that is not selected into a DC.
std::vector<DWORD> bits_of(HBITMAP bmp, int w, int h) {
    std::vector<DWORD> px((size_t)w * h, 0);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bmp, 0, h, px.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (auto& p : px) p &= 0x00FFFFFF;
    return px;
}

// A system icon drawn by this process on the given background: at its own
// size from the top-left corner, or stretched to the control's size.
std::vector<DWORD> reference_icon(LPCWSTR id, int w, int h, COLORREF background, bool stretch) {
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(mem, bmp);
    RECT r = {0, 0, w, h};
    HBRUSH brush = CreateSolidBrush(background);
    FillRect(mem, &r, brush);
    DeleteObject(brush);
    HICON icon = LoadIconW(nullptr, id);
    if (stretch)
        DrawIconEx(mem, 0, 0, icon, w, h, 0, nullptr, DI_NORMAL);
    else
        DrawIconEx(mem, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
    SelectObject(mem, old);
    DeleteDC(mem);
    std::vector<DWORD> px = bits_of(bmp, w, h);
    DeleteObject(bmp);
    return px;
}

int channel(DWORD p, int shift) { return (int)((p >> shift) & 0xFF); }

// Sum of the absolute differences of the three colour channels.
int colour_gap(DWORD a, DWORD b) {
    int d = 0;
    for (int shift = 0; shift < 24; shift += 8) d += std::abs(channel(a, shift) - channel(b, shift));
    return d;
}

// Mean absolute difference per colour channel, 0..255.
double distance(const std::vector<DWORD>& a, const std::vector<DWORD>& b) {
    if (a.size() != b.size() || a.empty()) return 255.0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += colour_gap(a[i], b[i]);
    return sum / (a.size() * 3.0);
}

const struct {
    LPCWSTR id;
    const char* name;
} kIcons[] = {
    {IDI_HAND, "error"},
    {IDI_EXCLAMATION, "warning"},
    {IDI_ASTERISK, "information"},
    {IDI_QUESTION, "question"},
};

// One capture of the icon control against every system icon: the scores in
// `g`, the best name when it stands out, "" when none does.
std::string compare_icons(const RECT& r, IconGuess& g) {
    // An exact match scores 0; the closest two system icons (information
    // and question) are about 5 apart.
    const double good_enough = 2.0;
    const int w = r.right - r.left, h = r.bottom - r.top;
    std::vector<DWORD> shot = screen_pixels(r.left, r.top, w, h);
    COLORREF bg = RGB(GetBValue(shot[0]), GetGValue(shot[0]), GetRValue(shot[0]));  // DIB is BGR
    double best = 1e9, second = 1e9;
    std::string best_name = "unknown";
    g.scores_json = "{";
    for (size_t i = 0; i < sizeof kIcons / sizeof kIcons[0]; ++i) {
        double d = std::min(distance(shot, reference_icon(kIcons[i].id, w, h, bg, false)),
                            distance(shot, reference_icon(kIcons[i].id, w, h, bg, true)));
        char buf[64];
        snprintf(buf, sizeof buf, "%s\"%s\":%.2f", i ? "," : "", kIcons[i].name, d);
        g.scores_json += buf;
        if (d < best) {
            second = best;
            best = d;
            best_name = kIcons[i].name;
        } else if (d < second) {
            second = d;
        }
    }
    g.scores_json += "}";
    return best <= good_enough && second - best >= good_enough ? best_name : std::string();
}

}  // namespace

std::vector<DWORD> screen_pixels(int x, int y, int w, int h) {
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, x, y, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    std::vector<DWORD> px = bits_of(bmp, w, h);
    DeleteObject(bmp);
    return px;
}

// Compares the screen pixels of the icon control with the system icons.
// The box may not have painted yet when it first shows, so a capture that
// matches nothing well is retried for a while.
IconGuess identify_icon(HWND icon_control) {
    IconGuess g;
    if (!icon_control) return g;
    // A box without an icon may still show an empty icon control. Its handle
    // cannot be compared across processes, but whether there is one can.
    DWORD_PTR handle = 0;
    if (SendMessageTimeoutW(icon_control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &handle) && handle == 0)
        return g;
    DWORD deadline = GetTickCount() + 15000;
    for (;;) {
        RECT r;
        GetWindowRect(icon_control, &r);
        if (r.right <= r.left || r.bottom <= r.top) {
            g.name = "unknown";
            g.scores_json = "{}";
            return g;
        }
        const std::string name = compare_icons(r, g);
        if (!name.empty()) {
            g.name = name;
            return g;
        }
        if ((LONG)(GetTickCount() - deadline) >= 0 || !IsWindow(icon_control)) {
            g.name = "unknown";
            return g;
        }
        Sleep(50);
    }
}

// The colour a row's text is drawn in, read from the screen: of the pixels
// of the row's label, the one farthest from the background (the most common
// colour there). -1 when nothing stands out (not painted, or covered).
long row_ink(HANDLE process, HWND list, int index) {
    RECT r = {};
    if (!item_rect(process, list, index, LVIR_LABEL, r)) return -1;
    RECT client;
    GetClientRect(list, &client);
    r.right = std::min(r.right, client.right);
    r.bottom = std::min(r.bottom, client.bottom);
    if (r.right - r.left < 2 || r.bottom - r.top < 2) return -1;
    POINT at = {r.left, r.top};
    ClientToScreen(list, &at);
    std::vector<DWORD> px = screen_pixels(at.x, at.y, r.right - r.left, r.bottom - r.top);
    std::map<DWORD, int> count;
    for (DWORD p : px) ++count[p];
    DWORD background = 0;
    int most = 0;
    for (const auto& c : count)
        if (c.second > most) most = c.second, background = c.first;
    int best = 0;
    long ink = -1;
    for (const auto& c : count) {
        const int d = colour_gap(c.first, background);
        if (d > best) best = d, ink = (long)c.first;
    }
    return best >= 90 ? ink : -1;
}

}  // namespace e2e

#include "layout.h"

#include "machine.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace winsim {
std::string ModeName(const DisplayMode& m) {
    char text[64];
    snprintf(text, sizeof text, "%ux%ux%u@%u", static_cast<unsigned>(m.width),
             static_cast<unsigned>(m.height), static_cast<unsigned>(m.bpp),
             static_cast<unsigned>(m.frequency));
    return text;
}

namespace {

struct Box {
    const DisplayDevice* device = nullptr;
    long left = 0, top = 0, right = 0, bottom = 0;
};

std::string At(long x, long y) {
    return "at " + std::to_string(x) + "," + std::to_string(y);
}

Box BoxOf(const DisplayDevice& d) {
    const DisplaySettings& s = d.current;
    return Box{&d, s.x, s.y, s.x + static_cast<long>(s.mode.width), s.y + static_cast<long>(s.mode.height)};
}

// The attached displays, the mirror drivers among them kept apart, and the rest.
struct Layout {
    std::vector<Box> displays;
    std::vector<Box> mirrors;
    std::vector<const DisplayDevice*> off;
    long minX = 0, minY = 0, maxX = 0, maxY = 0;
};

Layout Collect() {
    Layout l;
    bool first = true;
    for (const DisplayDevice& d : M().displays) {
        if (!d.present)
            continue;
        if (!d.current.attached) {
            l.off.push_back(&d);
            continue;
        }
        Box b = BoxOf(d);
        (IsMirror(d) ? l.mirrors : l.displays).push_back(b);
        if (first) {
            l.minX = b.left, l.minY = b.top, l.maxX = b.right, l.maxY = b.bottom;
            first = false;
        }
        l.minX = std::min(l.minX, b.left);
        l.minY = std::min(l.minY, b.top);
        l.maxX = std::max(l.maxX, b.right);
        l.maxY = std::max(l.maxY, b.bottom);
    }
    return l;
}

// What a mirror driver's rectangle covers: the displays it overlaps.
std::string Copies(const Box& mirror, const Layout& l) {
    std::string names;
    for (const Box& b : l.displays) {
        if (b.left < mirror.right && mirror.left < b.right && b.top < mirror.bottom && mirror.top < b.bottom)
            names += (names.empty() ? "" : " and ") + std::string(b.device->name.c_str());
    }
    return names.empty() ? "nothing" : names;
}

// The adapter's driver turns the picture of its own display itself: the desktop keeps the display's mode,
// so only the drawing's words can tell.
std::string RotationText(const DisplayDevice& d) {
    const DWORD rotation = M().adapter.rotation;
    if (!d.ofAdapter || IsMirror(d) || rotation < 1 || rotation > 3)
        return "";
    return "rotated " + std::to_string(rotation * 90) + " degrees";
}

std::string OffText(const DisplayDevice& d) {
    std::string text = std::string(d.name.c_str()) + (IsMirror(d) ? " (mirror driver)" : "") + " is off";
    if (d.registry.mode.width)
        text += ", saved " + ModeName(d.registry.mode);
    return text;
}

std::string Xml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

void DrawLayoutText(FILE* out) {
    Layout l = Collect();
    if (l.displays.empty() && l.mirrors.empty()) {
        fprintf(out, "layout no display is attached\n");
    } else {
        // A terminal cell is about twice as high as it is wide. The smallest display gets room for its name
        // and mode where the whole picture stays within a terminal's width.
        double width = static_cast<double>(l.maxX - l.minX), height = static_cast<double>(l.maxY - l.minY);
        double minWidth = width, minHeight = height;
        for (const Box& b : l.displays) {
            minWidth = std::min(minWidth, static_cast<double>(b.right - b.left));
            minHeight = std::min(minHeight, static_cast<double>(b.bottom - b.top));
        }
        double sx = std::min(std::max(48.0 / width, 20.0 / minWidth), 110.0 / width);
        double sy = std::min(
            {std::max(sx / 2.5, 4.0 / minHeight), std::max(12.0 / height, 4.0 / minHeight), 30.0 / height});
        auto col = [&](long x) { return static_cast<int>(std::lround((x - l.minX) * sx)); };
        auto row = [&](long y) { return static_cast<int>(std::lround((y - l.minY) * sy)); };
        std::vector<std::string> grid(row(l.maxY) + 1, std::string(col(l.maxX) + 1, ' '));
        auto put = [&](int r, int c, char ch) {
            char& cell = grid[r][c];
            cell = (cell == ' ' || cell == ch) ? ch : '+';
        };
        for (const Box& b : l.displays) {
            int c0 = col(b.left), c1 = col(b.right), r0 = row(b.top), r1 = row(b.bottom);
            for (int c = c0; c <= c1; ++c) {
                put(r0, c, (c == c0 || c == c1) ? '+' : '-');
                put(r1, c, (c == c0 || c == c1) ? '+' : '-');
            }
            for (int r = r0 + 1; r < r1; ++r) {
                put(r, c0, '|');
                put(r, c1, '|');
            }
            const DisplayDevice& d = *b.device;
            std::string lines[4] = {std::string(d.name.c_str()) + (d.primary ? " primary" : ""),
                                    ModeName(d.current.mode), At(b.left, b.top), RotationText(d)};
            int inside = c1 - c0 - 1;
            for (int i = 0; i < 4 && r0 + 1 + i < r1 && inside > 0; ++i)
                grid[r0 + 1 + i].replace(c0 + 1, std::min<size_t>(inside, lines[i].size()),
                                         lines[i].substr(0, inside));
        }
        for (std::string& line : grid) {
            line.erase(line.find_last_not_of(' ') + 1);
            fprintf(out, "layout %s\n", line.c_str());
        }
    }
    for (const Box& m : l.mirrors) {
        fprintf(out, "layout mirror %s %s %s copies %s\n", m.device->name.c_str(),
                ModeName(m.device->current.mode).c_str(), At(m.left, m.top).c_str(), Copies(m, l).c_str());
    }
    for (const DisplayDevice* d : l.off)
        fprintf(out, "layout off %s\n", OffText(*d).c_str());
}

std::string DrawLayoutSvg(const std::string& title) {
    Layout l = Collect();
    const double drawWidth = 720, margin = 24, titleHeight = 34, noteHeight = 20;
    double width = std::max(1.0, static_cast<double>(l.maxX - l.minX));
    double height = std::max(1.0, static_cast<double>(l.maxY - l.minY));
    double scale = drawWidth / width;
    if (height * scale > 480)
        scale = 480 / height;
    double pictureHeight = (l.displays.empty() && l.mirrors.empty()) ? 0 : height * scale;
    size_t notes = l.mirrors.size() + l.off.size() + (pictureHeight == 0 ? 1 : 0);
    double totalWidth = drawWidth + 2 * margin;
    double totalHeight = titleHeight + pictureHeight + margin + notes * noteHeight + margin;
    auto X = [&](long x) { return margin + (x - l.minX) * scale; };
    auto Y = [&](long y) { return titleHeight + (y - l.minY) * scale; };
    char buf[512];
    std::string svg;
    snprintf(
        buf, sizeof buf,
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
        "font-family=\"DejaVu Sans, Arial, sans-serif\">\n",
        totalWidth, totalHeight, totalWidth, totalHeight);
    svg += buf;
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    snprintf(buf, sizeof buf, "<text x=\"%.0f\" y=\"22\" font-size=\"16\" font-weight=\"bold\">%s</text>\n",
             margin, Xml(title).c_str());
    svg += buf;
    for (const Box& b : l.displays) {
        const DisplayDevice& d = *b.device;
        double x = X(b.left), y = Y(b.top), w = (b.right - b.left) * scale, h = (b.bottom - b.top) * scale;
        snprintf(buf, sizeof buf,
                 "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\" stroke=\"#2b3a4a\" "
                 "stroke-width=\"2\"/>\n",
                 x, y, w, h, d.primary ? "#cfe3f7" : "#ececec");
        svg += buf;
        std::string lines[6] = {d.name.c_str(),    d.deviceId.c_str(),         ModeName(d.current.mode),
                                At(b.left, b.top), d.primary ? "primary" : "", RotationText(d)};
        const char* styles[6] = {" font-size=\"15\" font-weight=\"bold\"",
                                 " font-size=\"11\" fill=\"#666\"",
                                 " font-size=\"13\"",
                                 " font-size=\"13\"",
                                 " font-size=\"13\" fill=\"#1c5d99\" font-weight=\"bold\"",
                                 " font-size=\"13\" fill=\"#a0460f\" font-weight=\"bold\""};
        for (int i = 0, shown = 0; i < 6; ++i) {
            if (lines[i].empty())
                continue;
            snprintf(buf, sizeof buf, "<text x=\"%.1f\" y=\"%.1f\"%s>%s</text>\n", x + 10,
                     y + 24 + shown++ * 19, styles[i], Xml(lines[i]).c_str());
            svg += buf;
        }
    }
    for (const Box& m : l.mirrors) {
        double x = X(m.left), y = Y(m.top), w = (m.right - m.left) * scale, h = (m.bottom - m.top) * scale;
        snprintf(buf, sizeof buf,
                 "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"#f6a04d\" "
                 "fill-opacity=\"0.07\" "
                 "stroke=\"#d2691e\" stroke-width=\"3\" stroke-dasharray=\"10 6\"/>\n",
                 x + 3, y + 3, std::max(0.0, w - 6), std::max(0.0, h - 6));
        svg += buf;
        std::string label =
            "mirror " + std::string(m.device->name.c_str()) + " " + ModeName(m.device->current.mode);
        snprintf(buf, sizeof buf,
                 "<text x=\"%.1f\" y=\"%.1f\" font-size=\"13\" fill=\"#a0460f\" "
                 "font-weight=\"bold\">%s</text>\n",
                 x + 10, y + h - 12, Xml(label).c_str());
        svg += buf;
    }
    double noteY = titleHeight + pictureHeight + margin + 4;
    std::vector<std::string> noteLines;
    if (pictureHeight == 0)
        noteLines.push_back("no display is attached");
    for (const Box& m : l.mirrors)
        noteLines.push_back("mirror " + std::string(m.device->name.c_str()) + " copies " + Copies(m, l));
    for (const DisplayDevice* d : l.off)
        noteLines.push_back(OffText(*d));
    for (const std::string& note : noteLines) {
        snprintf(buf, sizeof buf, "<text x=\"%.0f\" y=\"%.1f\" font-size=\"13\" fill=\"#444\">%s</text>\n",
                 margin, noteY, Xml(note).c_str());
        svg += buf;
        noteY += noteHeight;
    }
    svg += "</svg>\n";
    return svg;
}

} // namespace winsim

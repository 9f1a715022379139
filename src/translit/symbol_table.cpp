#include "symbol_table.hpp"

#include "generated/symbol_table_data.inc"

namespace scrubix::translit {

namespace {

// Hand-picked keyboard spellings. Checked before the Greek names, so the micro sign reads "u"
// and the ohm sign "ohm" rather than "mu" and "Omega".
constexpr std::string_view direct_spelling(char32_t c) noexcept {
    switch (c) {
        // Latin-1 and spacing letters
        case 0x00A2: return "c";
        case 0x00A3: return "GBP";
        case 0x00A5: return "JPY";
        case 0x00A7: return "S";
        case 0x00A9: return "(c)";
        case 0x00AE: return "(r)";
        case 0x00B1: return "+/-";
        case 0x00B5: return "u";
        case 0x00DF: return "ss";
        case 0x02BB: return "'";
        case 0x02DA: return "deg";
        case 0x1E9E: return "SS";
        // General punctuation and letterlike symbols
        case 0x2022: return "-";
        case 0x2023: return "-";
        case 0x2027: return "-";
        case 0x2030: return "0/00";
        case 0x2043: return "-";
        case 0x2126: return "ohm";
        // Arrows
        case 0x2190: return "<-";
        case 0x2191: return "^";
        case 0x2192: return "->";
        case 0x2193: return "v";
        case 0x2194: return "<->";
        case 0x2195: return "^v";
        case 0x21A6: return "|->";
        case 0x21B5: return "<-'";
        case 0x21CB: return "<=>";
        case 0x21CC: return "<=>";
        case 0x21D0: return "<==";
        case 0x21D2: return "==>";
        case 0x21D4: return "<==>";
        case 0x21E7: return "Shift";
        // Mathematical operators
        case 0x2200: return "forall";
        case 0x2203: return "exists";
        case 0x2205: return "{}";
        case 0x2206: return "delta";
        case 0x2207: return "grad";
        case 0x2208: return "in";
        case 0x2209: return "!in";
        case 0x220B: return "ni";
        case 0x220C: return "!ni";
        case 0x220F: return "prod";
        case 0x2211: return "sum";
        case 0x2213: return "-/+";
        case 0x2218: return "o";
        case 0x2224: return "!|";
        case 0x2226: return "!||";
        case 0x2227: return "and";
        case 0x2228: return "or";
        case 0x222B: return "int";
        case 0x2241: return "!~";
        case 0x2243: return "~=";
        case 0x2244: return "!~=";
        case 0x2248: return "~=";
        case 0x2249: return "!~~";
        case 0x2254: return ":=";
        case 0x2255: return "=:";
        case 0x2261: return "===";
        case 0x2262: return "!==";
        case 0x2270: return "!<=";
        case 0x2271: return "!>=";
        case 0x22EE: return "...";
        // Technical and keyboard symbols
        case 0x2303: return "Ctrl";
        case 0x2318: return "Cmd";
        case 0x2325: return "Opt";
        case 0x2326: return "Del";
        case 0x232B: return "Bksp";
        case 0x2387: return "Alt";
        case 0x238B: return "Esc";
        case 0x23CE: return "<-'";
        case 0x23CF: return "Eject";
        // Geometric shapes and miscellaneous symbols
        case 0x25A1: return "[ ]";
        case 0x25AA: return "-";
        case 0x25AB: return "-";
        case 0x25B6: return ">";
        case 0x25BC: return "v";
        case 0x25C0: return "<";
        case 0x25C6: return "<>";
        case 0x25C7: return "<>";
        case 0x25CB: return "o";
        case 0x25E6: return "o";
        case 0x2611: return "[x]";
        case 0x26A0: return "[!]";
        // Dingbats and supplemental arrows
        case 0x2705: return "[x]";
        case 0x2713: return "[x]";
        case 0x2714: return "[x]";
        case 0x2716: return "x";
        case 0x2717: return "x";
        case 0x2718: return "x";
        case 0x274C: return "x";
        case 0x274E: return "x";
        case 0x2753: return "?";
        case 0x2754: return "?";
        case 0x2755: return "!";
        case 0x2757: return "!";
        case 0x2794: return "->";
        case 0x2799: return "->";
        case 0x279C: return "->";
        case 0x27A4: return "->";
        case 0x27F5: return "<--";
        case 0x27F6: return "-->";
        case 0x27F7: return "<-->";
        case 0x27F8: return "<==";
        case 0x27F9: return "==>";
        case 0x27FA: return "<==>";
        case 0x2B50: return "*";
        default: return {};
    }
}

constexpr std::string_view greek_name(char32_t c) noexcept {
    return greek_data::kGreekNames[greek_data::GreekTable::get(c, 0)];
}

}  // namespace

std::string_view symbol_to_ascii(char32_t c) noexcept {
    if (c < 0x80) return {};
    const std::string_view direct = direct_spelling(c);
    return direct.empty() ? greek_name(c) : direct;
}

}  // namespace scrubix::translit

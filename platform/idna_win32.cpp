// IDNA through the system's IdnToAscii. It lives in kernel32 from Vista on
// and in normaliz.dll before; the program is built for XP, so it is looked up
// at run time rather than linked.
//
// IdnToAscii follows IDNA2003, which maps four characters away that IDNA2008
// (non-transitional, as libidn2 in the native build) keeps: the sharp s ß,
// the final sigma ς, and the zero-width joiner and non-joiner. "faß.de" and
// "fass.de" are two different registered names, so a label holding one of
// them is put together here: the text around each such character goes
// through the system's mapping (IdnToAscii, then IdnToUnicode back: case
// folded and normalised), the characters are kept where IDNA2008 allows
// them, and the label is Punycode-encoded by the code below.
#include "platform/idna.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <vector>

namespace platform {

namespace {

// IdnToAscii and IdnToUnicode have the same signature.
using IdnFunction = int(WINAPI*)(DWORD, LPCWSTR, int, LPWSTR, int);

struct IdnFunctions {
    IdnFunction toAscii = nullptr;
    IdnFunction toUnicode = nullptr;
};

const IdnFunctions& FindIdnFunctions() {
    static IdnFunctions functions;
    static std::once_flag once;
    std::call_once(once, [] {
        const auto find = [](HMODULE module, const char* name) {
            return reinterpret_cast<IdnFunction>(
                reinterpret_cast<void*>(::GetProcAddress(module, name)));
        };
        if (HMODULE kernel = ::GetModuleHandleA("kernel32.dll")) {
            functions.toAscii = find(kernel, "IdnToAscii");
            functions.toUnicode = find(kernel, "IdnToUnicode");
        }
        if (functions.toAscii == nullptr || functions.toUnicode == nullptr) {
            if (HMODULE normaliz = ::LoadLibraryA("normaliz.dll")) {
                functions.toAscii = find(normaliz, "IdnToAscii");
                functions.toUnicode = find(normaliz, "IdnToUnicode");
            }
        }
    });
    return functions;
}

// One call of IdnToAscii or IdnToUnicode; false when it fails.
bool CallIdn(IdnFunction function, const std::wstring& in, std::wstring& out) {
    if (function == nullptr || in.empty())
        return false;
    const int length = static_cast<int>(in.size());
    const int needed = function(0, in.c_str(), length, nullptr, 0);
    if (needed <= 0)
        return false;
    std::vector<wchar_t> buffer(static_cast<std::size_t>(needed));
    const int written = function(0, in.c_str(), length, buffer.data(), needed);
    if (written <= 0)
        return false;
    out.assign(buffer.data(), static_cast<std::size_t>(written));
    return true;
}

constexpr wchar_t kSharpS = 0x00DF, kFinalSigma = 0x03C2, kZwnj = 0x200C, kZwj = 0x200D;

bool IsDeviation(wchar_t c) {
    return c == kSharpS || c == kFinalSigma || c == kZwnj || c == kZwj;
}

bool HasDeviation(const std::wstring& text) {
    return std::any_of(text.begin(), text.end(), IsDeviation);
}

bool IsLabelSeparator(wchar_t c) {
    return c == L'.' || c == 0x3002 || c == 0xFF0E || c == 0xFF61;
}

// The viramas (combining class 9) of the scripts whose words use the
// joiners: Devanagari to Malayalam, Sinhala, Thai, Lao, Tibetan, Myanmar,
// Tagalog, Hanunoo, Khmer, Balinese and others of the Basic Multilingual Plane.
bool IsVirama(wchar_t c) {
    static constexpr wchar_t kViramas[] = {
        0x094D, 0x09CD, 0x0A4D, 0x0ACD, 0x0B4D, 0x0BCD, 0x0C4D, 0x0CCD, 0x0D3B, 0x0D3C, 0x0D4D,
        0x0DCA, 0x0E3A, 0x0EBA, 0x0F84, 0x1039, 0x103A, 0x1714, 0x1734, 0x17D2, 0x1A60, 0x1B44,
        0x1BAA, 0x1BAB, 0x1BF2, 0x1BF3, 0x2D7F, 0xA806, 0xA8C4, 0xA953, 0xA9C0, 0xAAF6, 0xABED};
    for (wchar_t virama : kViramas)
        if (c == virama)
            return true;
    return false;
}

// Arabic letters for the non-joiner's context: the marks that joining
// passes over, and whether a letter joins the one after it.
bool IsArabicMark(wchar_t c) {
    return (c >= 0x064B && c <= 0x065F) || c == 0x0670 || (c >= 0x06D6 && c <= 0x06DC) ||
           (c >= 0x06DF && c <= 0x06E4) || c == 0x06E7 || c == 0x06E8 ||
           (c >= 0x06EA && c <= 0x06ED);
}
bool IsArabicLetter(wchar_t c) {
    return (c >= 0x0622 && c <= 0x064A) || (c >= 0x066E && c <= 0x06D3) || c == 0x06D5 ||
           (c >= 0x06EE && c <= 0x06FF) || (c >= 0x0750 && c <= 0x077F);
}
bool JoinsToTheNext(wchar_t c) {
    static constexpr wchar_t kRightJoiningOnly[] = {
        0x0622, 0x0623, 0x0624, 0x0625, 0x0627, 0x0629, 0x062F, 0x0630, 0x0631,
        0x0632, 0x0648, 0x0671, 0x0672, 0x0673, 0x0675, 0x0676, 0x0677, 0x06C0,
        0x06C3, 0x06C4, 0x06C5, 0x06C6, 0x06C7, 0x06C8, 0x06C9, 0x06CA, 0x06CB,
        0x06CD, 0x06CF, 0x06D2, 0x06D3, 0x06D5, 0x06EE, 0x06EF};
    if (!IsArabicLetter(c) || (c >= 0x0688 && c <= 0x0699))
        return false;
    for (wchar_t right : kRightJoiningOnly)
        if (c == right)
            return false;
    return true;
}

// Whether the joiner at label[at] stands where IDNA2008 allows it: after a
// virama, or (the non-joiner) between an Arabic letter that joins forward and
// one after it, marks in between passed over.
bool JoinerAllowed(const std::wstring& label, std::size_t at) {
    if (at > 0 && IsVirama(label[at - 1]))
        return true;
    if (label[at] != kZwnj)
        return false;
    std::size_t before = at;
    while (before > 0 && IsArabicMark(label[before - 1]))
        --before;
    std::size_t after = at + 1;
    while (after < label.size() && IsArabicMark(label[after]))
        ++after;
    return before > 0 && JoinsToTheNext(label[before - 1]) && after < label.size() &&
           IsArabicLetter(label[after]);
}

// Punycode's digit for 0..35.
char PunycodeDigit(std::uint32_t d) {
    return static_cast<char>(d < 26 ? 'a' + d : '0' + (d - 26));
}

std::uint32_t PunycodeBias(std::uint32_t delta, std::uint32_t points, bool first) {
    constexpr std::uint32_t kBase = 36, kTMin = 1, kTMax = 26, kSkew = 38, kDamp = 700;
    delta = first ? delta / kDamp : delta / 2;
    delta += delta / points;
    std::uint32_t k = 0;
    while (delta > ((kBase - kTMin) * kTMax) / 2) {
        delta /= kBase - kTMin;
        k += kBase;
    }
    return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
}

// The Punycode form (without "xn--") of a label of UTF-16 text. False for a
// broken surrogate pair or a label too long to be one.
bool Punycode(const std::wstring& label, std::string& out) {
    std::vector<std::uint32_t> points;
    for (std::size_t i = 0; i < label.size(); ++i) {
        const std::uint32_t c = label[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < label.size() && label[i + 1] >= 0xDC00 &&
            label[i + 1] <= 0xDFFF) {
            points.push_back(0x10000 + ((c - 0xD800) << 10) + (label[++i] - 0xDC00u));
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            return false;
        } else {
            points.push_back(c);
        }
    }
    if (points.empty() || points.size() > 63)
        return false;
    constexpr std::uint32_t kBase = 36, kTMin = 1, kTMax = 26;
    out.clear();
    for (std::uint32_t c : points)
        if (c < 0x80)
            out += static_cast<char>(c);
    const std::uint32_t basic = static_cast<std::uint32_t>(out.size());
    std::uint32_t handled = basic;
    if (basic > 0)
        out += '-';
    std::uint32_t n = 0x80, delta = 0, bias = 72;
    while (handled < points.size()) {
        std::uint32_t next = 0x110000;
        for (std::uint32_t c : points)
            if (c >= n && c < next)
                next = c;
        // At most 63 points below 0x110000: no overflow in 32 bits.
        delta += (next - n) * (handled + 1);
        n = next;
        for (std::uint32_t c : points) {
            if (c < n)
                ++delta;
            if (c != n)
                continue;
            std::uint32_t q = delta;
            for (std::uint32_t k = kBase;; k += kBase) {
                const std::uint32_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
                if (q < t)
                    break;
                out += PunycodeDigit(t + (q - t) % (kBase - t));
                q = (q - t) / (kBase - t);
            }
            out += PunycodeDigit(q);
            bias = PunycodeBias(delta, handled + 1, handled == basic);
            delta = 0;
            ++handled;
        }
        ++delta;
        ++n;
    }
    return true;
}

// ASCII letters in lower case.
void LowerAscii(std::wstring& text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
}

// A label holding a deviation character: the pieces between them mapped by
// the system, the characters kept (a joiner only where allowed), the whole
// Punycode-encoded.
bool DeviationLabelToAscii(const std::wstring& label, std::wstring& out) {
    const IdnFunctions& idn = FindIdnFunctions();
    std::wstring mapped;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= label.size(); ++i) {
        if (i < label.size() && !IsDeviation(label[i]))
            continue;
        if (i > start) {
            std::wstring asciiPiece, piece;
            if (!CallIdn(idn.toAscii, label.substr(start, i - start), asciiPiece) ||
                !CallIdn(idn.toUnicode, asciiPiece, piece))
                return false;
            mapped += piece;
        }
        if (i < label.size()) {
            if ((label[i] == kZwj || label[i] == kZwnj) && !JoinerAllowed(label, i))
                return false;
            mapped += label[i];
        }
        start = i + 1;
    }
    LowerAscii(mapped);
    std::string encoded;
    if (!Punycode(mapped, encoded) || encoded.size() + 4 > 63)
        return false;
    out = L"xn--" + std::wstring(encoded.begin(), encoded.end());
    return true;
}

// The ASCII form of a whole name: as IdnToAscii gives it, except for the
// labels that hold a deviation character.
bool NameToAscii(const std::wstring& typed, std::wstring& out) {
    const IdnFunctions& idn = FindIdnFunctions();
    if (!HasDeviation(typed))
        return CallIdn(idn.toAscii, typed, out);
    out.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i <= typed.size(); ++i) {
        if (i < typed.size() && !IsLabelSeparator(typed[i]))
            continue;
        const std::wstring label = typed.substr(start, i - start);
        std::wstring converted;
        // An empty label (the root's, after a final dot) stays empty.
        if (!label.empty() && !(HasDeviation(label) ? DeviationLabelToAscii(label, converted)
                                                    : CallIdn(idn.toAscii, label, converted)))
            return false;
        out += converted;
        if (i < typed.size())
            out += L'.';
        start = i + 1;
    }
    return true;
}

} // namespace

bool ToAsciiDomainNameWide(const std::wstring& typed, std::string& ascii) {
    if (typed.empty() || typed.size() > 1024 || typed.find(L'\0') != std::wstring::npos)
        return false;
    std::wstring out;
    if (!NameToAscii(typed, out) || out.empty())
        return false;
    std::string converted;
    for (wchar_t c : out) {
        if (c == 0 || c > 0x7f)
            return false;
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        converted += static_cast<char>(c);
    }
    ascii = std::move(converted);
    return true;
}

bool ToAsciiDomainName(const std::string& typed, std::string& ascii) {
    if (typed.empty() || typed.size() > 1024)
        return false;
    const int length = static_cast<int>(typed.size());
    const int wideLength =
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, typed.data(), length, nullptr, 0);
    if (wideLength <= 0)
        return false;
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, typed.data(), length, wide.data(),
                              wideLength) != wideLength)
        return false;
    return ToAsciiDomainNameWide(wide, ascii);
}

} // namespace platform

#include "ui/branding.h"

#include "base/text.h"
#include "ui/blowfish.h"

#include <algorithm>
#include <cstring>

void DecodeString(const unsigned char* bytes, std::size_t length, std::string& out) {
    length = std::min(length, kDecodeLimit);
    // Whole blocks only, so the cipher is never handed a length it refuses.
    length -= length % BlowfishCipher::kBlockSize;

    unsigned char work[kDecodeLimit + 1];
    if (length != 0) {
        BlowfishCipher cipher(kBrandingKey, sizeof kBrandingKey);
        cipher.Decipher(bytes, work, length);
    }
    work[length] = 0;

    out = text::RemoveAll(reinterpret_cast<const char*>(work), '~');
}

bool EncodeString(std::string_view plain, std::size_t length, std::vector<unsigned char>& out) {
    if (length == 0 || length % BlowfishCipher::kBlockSize != 0 || plain.size() > length ||
        plain.find('~') != std::string_view::npos || plain.find('\0') != std::string_view::npos)
        return false;
    std::vector<unsigned char> buffer(length, '~');
    std::memcpy(buffer.data(), plain.data(), plain.size());
    BlowfishCipher cipher(kBrandingKey, sizeof kBrandingKey);
    cipher.Encipher(buffer.data(), buffer.data(), length);
    out = std::move(buffer);
    return true;
}

void GetProductName(std::string& out) {
    DecodeString(ProductName, sizeof ProductName, out);
}

void GetCopyrightText(std::string& out) {
    DecodeString(CopyrightText, sizeof CopyrightText, out);
}

void GetCoBrandName(std::string& out) {
    GetCoBrandNameFrom(BrandingRecord, out);
}

void GetCoBrandNameFrom(const BrandingRecordData& record, std::string& out) {
    if (record.marker == 'B' && record.usePartnerName != 0) {
        // The length byte is data too: never read past the record's name.
        std::size_t length = std::min<std::size_t>(record.partnerNameLength, kPartnerNameLength);
        DecodeString(record.partnerName, length, out);
    } else {
        DecodeString(DefaultCoBrandName, sizeof DefaultCoBrandName, out);
    }
}

void GetHeadingText(std::string& out) {
    DecodeString(HeadingText, sizeof HeadingText, out);
}

void GetMoreSoftwareBaseUrl(std::string& out) {
    std::string piece;
    DecodeString(MoreSoftwareBaseUrl1, sizeof MoreSoftwareBaseUrl1, piece);
    std::string url = piece;
    DecodeString(MoreSoftwareBaseUrl2, sizeof MoreSoftwareBaseUrl2, piece);
    url += piece;
    DecodeString(MoreSoftwareBaseUrl3, sizeof MoreSoftwareBaseUrl3, piece);
    url += piece;
    out = url;
}

std::string NormaliseBuildDate(std::string_view date) {
    if (date.find('.') != std::string_view::npos)
        return std::string(date);
    std::string s = text::ToLower(date);
    s = text::ReplaceAll(s, "  ", " ");
    s = text::ReplaceAll(s, " ", ".");
    static constexpr const char* kMonths[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                "jul", "aug", "sep", "oct", "nov", "dec"};
    static constexpr const char* kNumbers[12] = {"01", "02", "03", "04", "05", "06",
                                                 "07", "08", "09", "10", "11", "12"};
    for (int i = 0; i < 12; ++i)
        s = text::ReplaceAll(s, kMonths[i], kNumbers[i]);
    return s;
}

void GetBuildDateText(std::string& out) {
    out = NormaliseBuildDate(kBuildDate);
}

std::string ComposeWindowTitle(std::string_view product, std::string_view coBrand) {
    std::string title(product);
    title += " [";
    title += coBrand;
    title += "]";
    return title;
}

void GetWindowTitle(std::string& out) {
    std::string product;
    std::string coBrand;
    GetProductName(product);
    GetCoBrandName(coBrand);
    out = ComposeWindowTitle(product, coBrand);
}

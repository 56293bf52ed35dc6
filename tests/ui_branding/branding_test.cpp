// The branding decoder, the stored texts, the build date and the software
// page address.
#include "ui/blowfish.h"
#include "ui/branding.h"
#include "ui/software_url.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The plain texts the program stores (see tools/encipher/make_branding_data.sh).
constexpr char kExpectedProductName[] = "Ostrabel";
constexpr char kExpectedCopyright[] = "Copyright (C) 2026 Tarvolk Technologies";
constexpr char kExpectedPartnerName[] = "Tarvolk Technologies";
constexpr char kExpectedDefaultCoBrandName[] = "Tarvolk Software";
constexpr char kExpectedHeading[] = "Ostrabel: find the owner of an IP or domain";
constexpr char kExpectedBaseUrl[] = "http://www.tarvolk.example/software.php?from=ostrabel";

// Enciphers raw bytes (which may hold "~" or NUL) with the branding key.
std::vector<unsigned char> EncipherRaw(const std::string& plain) {
    std::vector<unsigned char> bytes(plain.begin(), plain.end());
    BlowfishCipher cipher(kBrandingKey, sizeof kBrandingKey);
    cipher.Encipher(bytes.data(), bytes.data(), bytes.size());
    return bytes;
}

std::string Decode(const std::vector<unsigned char>& bytes, std::size_t length) {
    std::string out = "(untouched)";
    DecodeString(bytes.data(), length, out);
    return out;
}

TEST(DecodeStringTest, RoundTripsAndTildesAndNul) {
    std::vector<unsigned char> stored;
    ASSERT_TRUE(EncodeString("Hello, world", 16, stored));
    ASSERT_EQ(stored.size(), 16u);
    EXPECT_EQ(Decode(stored, stored.size()), "Hello, world");

    // A text that fills its length exactly needs no filler and no NUL.
    ASSERT_TRUE(EncodeString("exactly sixteen!", 16, stored));
    EXPECT_EQ(Decode(stored, 16), "exactly sixteen!");

    // Every "~" goes, not only the filler at the end.
    EXPECT_EQ(Decode(EncipherRaw("~a~b~~c~d~~~~~~~"), 16), "abcd");
    EXPECT_EQ(Decode(EncipherRaw("~~~~~~~~"), 8), "");

    // The text ends at the first NUL; what follows it is not shown.
    EXPECT_EQ(Decode(EncipherRaw(std::string("abc\0def~~~~~~~~~", 16)), 16), "abc");
    EXPECT_EQ(Decode(EncipherRaw(std::string("\0visible", 8)), 8), "");

    // A block deciphered under another key is not given back.
    EXPECT_NE(Decode(stored, 8), "exactly sixteen!");
}

TEST(DecodeStringTest, DeciphersAtMost1024Bytes) {
    std::string plain(1024, 'x');
    plain += "TAILTAIL";
    std::vector<unsigned char> stored = EncipherRaw(plain);
    ASSERT_EQ(stored.size(), 1032u);

    std::string out = Decode(stored, stored.size());
    EXPECT_EQ(out, std::string(1024, 'x'));
    EXPECT_EQ(Decode(stored, 4096), std::string(1024, 'x'));
    // Shorter lengths stop where they say.
    EXPECT_EQ(Decode(stored, 1016), std::string(1016, 'x'));
}

TEST(DecodeStringTest, PartialBlocksAreLeftOutWithoutAnError) {
    std::vector<unsigned char> stored = EncipherRaw("abcdefghijklmnop");
    EXPECT_EQ(Decode(stored, 0), "");
    EXPECT_EQ(Decode(stored, 7), "");
    EXPECT_EQ(Decode(stored, 13), "abcdefgh");
}

TEST(EncodeStringTest, RefusesWhatCannotComeBack) {
    std::vector<unsigned char> out = {1, 2, 3};
    EXPECT_FALSE(EncodeString("seventeen bytes!!", 16, out));
    EXPECT_FALSE(EncodeString("a~b", 8, out));
    EXPECT_FALSE(EncodeString(std::string("a\0b", 3), 8, out));
    EXPECT_FALSE(EncodeString("abc", 12, out));
    EXPECT_FALSE(EncodeString("", 0, out));
    EXPECT_EQ(out, (std::vector<unsigned char>{1, 2, 3}));

    ASSERT_TRUE(EncodeString("", 8, out));
    EXPECT_EQ(Decode(out, 8), "");
    // The filler is "~", so one block of only filler has one stored form.
    EXPECT_EQ(out, EncipherRaw("~~~~~~~~"));
}

// Each stored text decodes to the chosen plain text, which fits its stored
// length, and the stored bytes are exactly that text filled with "~" and
// enciphered (so the file was made by the tool, not edited by hand).
void ExpectStored(const unsigned char* bytes, std::size_t length, const std::string& plain) {
    SCOPED_TRACE(plain);
    std::string out;
    DecodeString(bytes, length, out);
    EXPECT_EQ(out, plain);
    EXPECT_LE(plain.size(), length);
    std::vector<unsigned char> expected;
    ASSERT_TRUE(EncodeString(plain, length, expected));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes));
    // Nothing of the plain text is readable in the program's data.
    std::string raw(reinterpret_cast<const char*>(bytes), length);
    EXPECT_EQ(raw.find(plain.substr(0, 4)), std::string::npos);
}

TEST(BrandingTextsTest, StoredTextsDecodeToTheChosenTexts) {
    EXPECT_EQ(sizeof ProductName, 16u);
    EXPECT_EQ(sizeof CopyrightText, 72u);
    EXPECT_EQ(sizeof BrandingRecord.partnerName, 56u);
    EXPECT_EQ(sizeof DefaultCoBrandName, 24u);
    EXPECT_EQ(sizeof HeadingText, 48u);
    EXPECT_EQ(sizeof MoreSoftwareBaseUrl1 + sizeof MoreSoftwareBaseUrl2 +
                  sizeof MoreSoftwareBaseUrl3,
              64u);

    ExpectStored(ProductName, sizeof ProductName, kExpectedProductName);
    ExpectStored(CopyrightText, sizeof CopyrightText, kExpectedCopyright);
    ExpectStored(BrandingRecord.partnerName, sizeof BrandingRecord.partnerName,
                 kExpectedPartnerName);
    ExpectStored(DefaultCoBrandName, sizeof DefaultCoBrandName, kExpectedDefaultCoBrandName);
    ExpectStored(HeadingText, sizeof HeadingText, kExpectedHeading);
    const std::string url = kExpectedBaseUrl;
    ExpectStored(MoreSoftwareBaseUrl1, sizeof MoreSoftwareBaseUrl1, url.substr(0, 24));
    ExpectStored(MoreSoftwareBaseUrl2, sizeof MoreSoftwareBaseUrl2, url.substr(24, 24));
    ExpectStored(MoreSoftwareBaseUrl3, sizeof MoreSoftwareBaseUrl3, url.substr(48));

    EXPECT_EQ(BrandingRecord.marker, 'B');
    EXPECT_EQ(BrandingRecord.partnerNameLength, 56);
    EXPECT_EQ(BrandingRecord.usePartnerName, 1);
}

TEST(BrandingTextsTest, GettersAndWindowTitle) {
    std::string out;
    GetProductName(out);
    EXPECT_EQ(out, kExpectedProductName);
    GetCopyrightText(out);
    EXPECT_EQ(out, kExpectedCopyright);
    GetCoBrandName(out);
    EXPECT_EQ(out, kExpectedPartnerName);
    GetHeadingText(out);
    EXPECT_EQ(out, kExpectedHeading);
    EXPECT_EQ(out.find('\n'), std::string::npos);
    GetMoreSoftwareBaseUrl(out);
    EXPECT_EQ(out, kExpectedBaseUrl);
    GetBuildDateText(out);
    EXPECT_EQ(out, "01.27.03");

    GetWindowTitle(out);
    EXPECT_EQ(out, "Ostrabel [Tarvolk Technologies]");
    EXPECT_EQ(ComposeWindowTitle("A", ""), "A []");
}

TEST(BrandingTextsTest, CoBrandNameFollowsTheRecord) {
    BrandingRecordData record = BrandingRecord;
    std::string out;

    GetCoBrandNameFrom(record, out);
    EXPECT_EQ(out, kExpectedPartnerName);

    record.usePartnerName = 0;
    GetCoBrandNameFrom(record, out);
    EXPECT_EQ(out, kExpectedDefaultCoBrandName);

    record = BrandingRecord;
    record.marker = 'b';
    GetCoBrandNameFrom(record, out);
    EXPECT_EQ(out, kExpectedDefaultCoBrandName);

    // Any nonzero flag shows the partner name.
    record = BrandingRecord;
    record.usePartnerName = 0x80;
    GetCoBrandNameFrom(record, out);
    EXPECT_EQ(out, kExpectedPartnerName);

    // The length byte says how much is deciphered: one block is 8 bytes.
    record.partnerNameLength = 8;
    GetCoBrandNameFrom(record, out);
    EXPECT_EQ(out, std::string(kExpectedPartnerName).substr(0, 8));

    // A length beyond the record's name is held to the name's 56 bytes.
    record.partnerNameLength = 255;
    GetCoBrandNameFrom(record, out);
    EXPECT_EQ(out, kExpectedPartnerName);
}

TEST(BuildDateTest, Normalisation) {
    // Dotted dates stay as they are, letters and all.
    EXPECT_EQ(NormaliseBuildDate("01.27.03"), "01.27.03");
    EXPECT_EQ(NormaliseBuildDate("Mar.5 2003"), "Mar.5 2003");

    // Month abbreviation, day padded with a blank, year.
    EXPECT_EQ(NormaliseBuildDate("mar  5 2003"), "03.5.2003");
    EXPECT_EQ(NormaliseBuildDate("MAR  5 2003"), "03.5.2003");
    EXPECT_EQ(NormaliseBuildDate("Mar  5 2003"), "03.5.2003");
    EXPECT_EQ(NormaliseBuildDate("Dec 25 2003"), "12.25.2003");
    EXPECT_EQ(NormaliseBuildDate("Jan 27 2003"), "01.27.2003");

    const char* const months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i) {
        char expected[16];
        std::snprintf(expected, sizeof expected, "%02d.14.2003", i + 1);
        EXPECT_EQ(NormaliseBuildDate(std::string(months[i]) + " 14 2003"), expected);
    }
}

TEST(SoftwareUrlTest, MoreSoftwareAddress) {
    EXPECT_EQ(BuildMoreSoftwareUrl(kMoreSoftwarePage),
              "http://www.tarvolk.example/software.php?from=ostrabel&page=more&version=110012703");
    EXPECT_EQ(ComposeMoreSoftwareUrl("http://h/p?x=1", "news", "01.27.03"),
              "http://h/p?x=1&page=news&version=110012703");
    // An undotted date is normalised first, so the version is digits only.
    EXPECT_EQ(ComposeMoreSoftwareUrl("http://h/p?x=1", "more", NormaliseBuildDate("Mar  5 2003")),
              "http://h/p?x=1&page=more&version=1100352003");
}

} // namespace

// Texts and small URL helpers that both HTTPS implementations share.
#include "platform/https.h"

#include "platform/ip_literal.h"

#include <algorithm>
#include <cctype>

namespace platform::https_detail {

std::string BodyOverText(std::size_t maxBodyBytes) {
    constexpr std::size_t kMiB = 1u << 20;
    if (maxBodyBytes >= kMiB && maxBodyBytes % kMiB == 0) {
        return "body over " + std::to_string(maxBodyBytes / kMiB) + " MiB";
    }
    return "body over " + std::to_string(maxBodyBytes) + " bytes";
}

std::string SchemeOf(const std::string& url) {
    // RFC 3986: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) ":"
    std::string scheme;
    for (char c : url) {
        const auto u = static_cast<unsigned char>(c);
        if (c == ':') {
            return scheme;
        }
        if (!(std::isalpha(u) ||
              (!scheme.empty() && (std::isdigit(u) || c == '+' || c == '-' || c == '.')))) {
            return {};
        }
        scheme += static_cast<char>(std::tolower(u));
    }
    return {};
}

std::string RedirectRefusedText(const std::string& target) {
    const std::string scheme = SchemeOf(target);
    if (scheme.empty()) {
        return "redirect refused";
    }
    return "redirect to " + scheme + ":// refused";
}

std::string ResolveLocation(const std::string& base, const std::string& location) {
    if (!SchemeOf(location).empty()) {
        return location;
    }
    const std::string scheme = SchemeOf(base);
    if (location.compare(0, 2, "//") == 0) {
        return scheme + ":" + location;
    }
    std::string start = base.substr(0, base.find('#'));
    const std::size_t authority = scheme.size() + 3; // after "scheme://"
    const std::size_t pathStart = std::min(start.find_first_of("/?", authority), start.size());
    if (location.empty()) {
        return start;
    }
    if (location[0] == '/') {
        return start.substr(0, pathStart) + location;
    }
    const std::string withoutQuery = start.substr(0, start.find('?', pathStart));
    if (location[0] == '?' || location[0] == '#') {
        return (location[0] == '?' ? withoutQuery : start) + location;
    }
    const std::size_t slash = withoutQuery.rfind('/');
    if (slash == std::string::npos || slash < pathStart) {
        return withoutQuery + "/" + location; // an empty path is "/"
    }
    return withoutQuery.substr(0, slash + 1) + location;
}

bool StartHttpsGet(const HttpsRequest& request, HttpsResponse& response) {
    response = HttpsResponse{};
    if (SchemeOf(request.url) != "https") {
        response.error = "not an https:// URL";
        return false;
    }
    return true;
}

std::string HostOfUrl(const std::string& url) {
    const std::size_t start = url.find("://");
    if (start == std::string::npos) {
        return {};
    }
    std::string authority = url.substr(start + 3);
    authority.resize(std::min(authority.find_first_of("/?#"), authority.size()));
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        return close == std::string::npos ? authority : authority.substr(0, close + 1);
    }
    return authority.substr(0, authority.find(':'));
}

std::string RedirectRefusal(const HttpsRequest& request, const std::string& target, int redirects) {
    if (SchemeOf(target) != "https") {
        return RedirectRefusedText(target);
    }
    if (IsNonPublicAddressLiteral(HostOfUrl(target))) {
        return "redirect to a local address refused";
    }
    if (redirects >= request.maxRedirects) {
        return "too many redirects";
    }
    return {};
}

bool IsRedirectStatus(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string Trim(const std::string& text) {
    const char* space = " \t\r\n";
    const auto first = text.find_first_not_of(space);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

} // namespace platform::https_detail

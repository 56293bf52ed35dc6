#include "ui/software_url.h"

#include "base/text.h"
#include "ui/branding.h"

std::string ComposeMoreSoftwareUrl(std::string_view base, std::string_view page,
                                   std::string_view buildDate) {
    std::string url(base);
    url += "&page=";
    url += page;
    url += "&version=";
    url += kSoftwareVersionText;
    url += text::RemoveAll(buildDate, '.');
    return url;
}

std::string BuildMoreSoftwareUrl(std::string_view page) {
    std::string base;
    std::string date;
    GetMoreSoftwareBaseUrl(base);
    GetBuildDateText(date);
    return ComposeMoreSoftwareUrl(base, page, date);
}

// A bootstrap registry file (from the per-user cache, so from disk) of any
// content. Input: the first byte picks the registry, then the file.
#include "engine/rdap/bootstrap.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const rdap::Registry registry = rdap::kAllRegistries[data[0] % 4];
    rdap::Bootstrap boot;
    std::string error;
    const bool loaded = boot.Load(registry, fuzz::AsText(data + 1, size - 1), error);
    FUZZ_CHECK(loaded == (boot.EntryCount(registry) > 0));
    FUZZ_CHECK(loaded || !error.empty());
    // Whatever the file said, a base URL is https:// and ends in '/'.
    for (const char* query : {"a.example.com", "com", "192.0.2.1", "0.0.0.0", "2001:db8::1",
                              "::", "AS15169", "AS0", "AS4294967295"}) {
        const std::string base = boot.FindBaseUrl(rdap::ClassifyQuery(query));
        FUZZ_CHECK(base.empty() || (base.starts_with("https://") && base.ends_with("/")));
    }
    return 0;
}

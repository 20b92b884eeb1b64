// A parameter reply through the tokenizer, the value conversion and the key tests of
// both read-backs, for each kind of firmware identity.
#include "params/ReadBack.h"
#include "params/ReplyTokens.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the identity; the rest is the reply text.
    static const params::TIdentity kIdentities[] = {
        params::TIdentity::FromVersion("201016", "DW730 TONAL"),
        params::TIdentity::FromVersion("201026", "DW720 MIV"),
        params::TIdentity::FromVersion("201036", "DW730 VELMORAS_SPECIAL"),
        params::TIdentity::FromVersion("", ""),
    };
    const auto& identity = kIdentities[data[0] % 4];
    const std::string_view reply(reinterpret_cast<const char*>(data + 1), size - 1);
    (void)params::TokenizeReply(reply);
    params::TParamSet init;
    params::TCurParams cur;
    try {
        (void)params::StoreInitialReply(reply, init);
    } catch (const std::exception&) {
    }
    try {
        (void)params::ReadCurrentReply(reply, identity, cur);
    } catch (const std::exception&) {
    }
    return 0;
}

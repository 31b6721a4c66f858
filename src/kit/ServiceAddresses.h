#pragma once

// Every outside host or address that the program itself names lives here, one constant each; code and
// tests use these constants, never a literal. The torrent-index sites are ours to name and have no real
// host (".invalid"): we vouch for no index site.
namespace ombrelay::service {

// Web-search engines (public hosts; their "http" answers redirect to "https").
inline constexpr char kWebSearchHost[] = "www.google.com";
inline constexpr char kSecondWebSearchHost[] = "www.bing.com";

// The shopping site searched from a search item's context menu; the terms follow "k=".
inline constexpr char kShoppingSearchHost[] = "www.amazon.com";
inline constexpr char kShoppingSearchPath[] = "/s?k=";

}  // namespace ombrelay::service

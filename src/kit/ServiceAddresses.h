#pragma once

// Every outside host or address that the program itself names lives here, one constant each; code and
// tests use these constants, never a literal. The torrent-index sites are ours to name and have no real
// host (".invalid"): we vouch for no index site.
namespace ombrelay::service {

// Web-search engines (public hosts; their "http" answers redirect to "https").
inline constexpr char kWebSearchHost[] = "www.google.com";
inline constexpr char kSecondWebSearchHost[] = "www.bing.com";

// Search suggestions: "http://" + host + "/complete/search?client=safari&q=" and the escaped text.
inline constexpr char kSuggestionHost[] = "www.google.com";

// Feeds, site icons and address shortening.
// The address-shortening service: "http://" + host + "/api.php?longurl=" and the escaped long address.
inline constexpr char kAddressShortenerHost[] = "is.gd";
// The torrent-index site whose feed entries link detail pages under "/tor/" and serve their torrent file
// under "/get/"; ours to name, so it has no real host.
inline constexpr char kFeedIndexSitePrefix[] = "http://feed-index.invalid/tor/";

}  // namespace ombrelay::service

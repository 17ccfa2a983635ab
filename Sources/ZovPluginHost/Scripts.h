#pragma once

// The fixed script texts of the runner, byte for byte. Raw literals keep every
// line feed and blank as it is; the texts hold no carriage return and no tab.

#include <string_view>

namespace zov::scripts {

// Declares `zov` (the plugin's fetch) and opens the function whose body is the
// plugin source; the function's result becomes `plugin`.
inline constexpr std::string_view prelude =
    R"js(const zov = Object.freeze({session: Object.freeze({fetch(url, options = {}) {
    const response = JSON.parse(__sessionFetch(JSON.stringify({url, ...options})));
    if (response.error) throw new Error(response.error);
    return response;
}})});
const plugin = (function () {
)js";

// Closes and calls the function that the prelude opened.
inline constexpr std::string_view suffix = R"js(
})();)js";

// Calls `plugin[__method](__input)` and gives the JSON text of its result.
inline constexpr std::string_view invocation = R"js((() => {
    if (!Object.prototype.hasOwnProperty.call(plugin, __method) || typeof plugin[__method] !== 'function')
        throw new Error('Unknown plugin method');
    const result = plugin[__method](__input);
    if (result && typeof result.then === 'function') throw new Error('Plugin methods must return synchronously');
    const json = JSON.stringify(result);
    if (json === undefined) throw new Error('Plugin returned no result');
    return json;
})())js";

// Exercises, before the process is confined, what the engine loads lazily.
inline constexpr std::string_view warmUp =
    R"js(/\p{L}+/u.test("é"); "Ä".normalize("NFD").toLowerCase(); "a".localeCompare("b");
Date.parse("2026-11-06T12:00:00.123+0300"); new Date(0).toISOString(); JSON.stringify({a: [1]});
encodeURIComponent("é ?"); parseInt("ff", 16); String.fromCodePoint(0x1F600);)js";

} // namespace zov::scripts

// The local code page on POSIX systems: the character set of the user's
// locale environment, converted with iconv. Generic POSIX code only.

#include <errno.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <strings.h>

#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "common/linux/system_calls.hpp"
#include "text/text_platform.hpp"

namespace corvane::detail {

namespace {

const iconv_t no_converter = reinterpret_cast<iconv_t>(-1);
constexpr char default_character = '?';

// The character set of the locale that LC_ALL, LC_CTYPE or LANG name. The
// process's own setlocale state is deliberately ignored: a program that never
// calls setlocale would otherwise convert everything to ASCII. A locale
// environment that names no installed locale means the "C" locale, as it
// does for setlocale.
std::optional<std::string> charset_of_locale_environment() {
    locale_t user = newlocale(LC_CTYPE_MASK, "", locale_t{});
    if (user == locale_t{}) {
        user = newlocale(LC_CTYPE_MASK, "C", locale_t{});
        if (user == locale_t{}) {
            return std::nullopt;
        }
    }
    std::string charset = nl_langinfo_l(CODESET, user);
    freelocale(user);
    return charset;
}

// The variables that choose the locale and where it is found, as one key;
// an unset variable differs from an empty one.
std::string locale_environment_key() {
    std::string key;
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG", "LOCPATH"}) {
        const char* value = std::getenv(name);
        key += value != nullptr ? '=' : '-';
        key += value != nullptr ? value : "";
        key += '\0';
    }
    return key;
}

// newlocale takes tens of microseconds, and glibc's loses its copy of LOCPATH
// on every call while that is set; so the character set is remembered per
// locale environment. Any change of the environment is a new key, so nothing
// goes stale; the few environments a program uses fit in a small table.
std::optional<std::string> local_charset() {
    static std::mutex mutex;
    static std::vector<std::pair<std::string, std::string>> charsets;
    constexpr std::size_t most_remembered = 16;

    std::string key = locale_environment_key();
    std::lock_guard lock(mutex);
    for (const auto& [environment, charset] : charsets) {
        if (environment == key) {
            return charset;
        }
    }
    auto charset = charset_of_locale_environment();
    if (charset) {
        if (charsets.size() == most_remembered) {
            charsets.clear();
        }
        charsets.emplace_back(std::move(key), *charset);
    }
    return charset;
}

bool is_utf8_charset(const std::string& charset) {
    return strcasecmp(charset.c_str(), "UTF-8") == 0 || strcasecmp(charset.c_str(), "UTF8") == 0;
}

enum class direction { to_local, from_local };

// Opening a descriptor loads the character set's tables, too slow to repeat
// on every call. A descriptor carries conversion state and must not be used
// by two threads at once, so each thread keeps its own, keyed by the
// character set's name only.
class converter_cache {
public:
    converter_cache() = default;
    converter_cache(const converter_cache&) = delete;
    converter_cache& operator=(const converter_cache&) = delete;
    ~converter_cache() {
        for (const auto& cached : entries_) {
            iconv_close(cached.descriptor);
        }
    }

    // A descriptor in its initial state, or no_converter when the platform
    // cannot convert between UTF-8 and `charset`.
    iconv_t get(const std::string& charset, direction way) {
        for (const auto& cached : entries_) {
            if (cached.way == way && cached.charset == charset) {
                system_calls.iconv(cached.descriptor, nullptr, nullptr, nullptr, nullptr);
                return cached.descriptor;
            }
        }
        iconv_t descriptor = way == direction::to_local ? iconv_open(charset.c_str(), "UTF-8")
                                                        : iconv_open("UTF-8", charset.c_str());
        if (descriptor != no_converter) {
            entries_.push_back({charset, way, descriptor});
        }
        return descriptor;
    }

private:
    struct cached_converter {
        std::string charset;
        direction way;
        iconv_t descriptor;
    };
    std::vector<cached_converter> entries_;
};

thread_local converter_cache converters;

// Runs the whole input through `descriptor`. Without a substitute, any
// sequence the descriptor rejects fails the conversion. With one, the input
// must be well-formed UTF-8, so a rejected sequence is a character that the
// target lacks, and it becomes the substitute.
std::optional<std::string> convert(iconv_t descriptor, std::string_view input,
                                   std::optional<char> substitute) {
    std::string output(input.size() + 16, '\0');
    char* in = const_cast<char*>(input.data());  // iconv never writes through it
    std::size_t in_left = input.size();
    std::size_t used = 0;
    while (in_left > 0) {
        char* out = output.data() + used;
        std::size_t out_left = output.size() - used;
        std::size_t result = system_calls.iconv(descriptor, &in, &in_left, &out, &out_left);
        used = output.size() - out_left;
        if (result != static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            output.resize(output.size() * 2);
            continue;
        }
        std::size_t skipped =
            substitute && errno == EILSEQ ? utf8_sequence_length({in, in_left}) : 0;
        if (skipped == 0) {
            return std::nullopt;
        }
        if (used == output.size()) {
            output.resize(output.size() * 2);
        }
        output[used++] = *substitute;
        in += skipped;
        in_left -= skipped;
    }
    output.resize(used);
    return output;
}

// Converts between UTF-8 and the local character set in the given direction.
// A local character set of UTF-8 needs no conversion, only local text checked:
// text going to the local side is well-formed UTF-8 already.
std::optional<std::string> convert_with_local_charset(std::string_view text, direction way) {
    auto charset = local_charset();
    if (!charset) {
        return std::nullopt;
    }
    if (is_utf8_charset(*charset)) {
        return way == direction::to_local || is_valid_utf8(text) ? std::optional<std::string>(text) : std::nullopt;
    }
    iconv_t descriptor = converters.get(*charset, way);
    if (descriptor == no_converter) {
        return std::nullopt;
    }
    return convert(descriptor, text,
                   way == direction::to_local ? std::optional<char>(default_character)
                                              : std::nullopt);
}

}  // namespace

std::optional<std::string> local_from_utf8(std::string_view utf8) {
    return convert_with_local_charset(utf8, direction::to_local);
}

std::optional<std::string> utf8_from_local(std::string_view text) {
    return convert_with_local_charset(text, direction::from_local);
}

}  // namespace corvane::detail

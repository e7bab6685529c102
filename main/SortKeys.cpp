#include "main/SortKeys.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unicode/ucol.h>
#include <unicode/uset.h>

#include "core/platform/SystemMemory.h"

namespace {

UCollator* OpenCollator(const QCollator& like)
{
    // The settings QCollator gives its own collator, so both order alike. The C locale has no
    // collation of its own: it gets the root one.
    const QLocale locale = like.locale();
    const QByteArray name =
        locale.language() == QLocale::C ? QByteArray() : locale.bcp47Name().replace(u'-', u'_').toLatin1();
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(name.constData(), &status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        collator = ucol_open("", &status);
    }
    ucol_setAttribute(collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    ucol_setAttribute(collator, UCOL_STRENGTH,
                      like.caseSensitivity() == Qt::CaseSensitive ? UCOL_DEFAULT_STRENGTH : UCOL_SECONDARY, &status);
    ucol_setAttribute(collator, UCOL_NUMERIC_COLLATION, like.numericMode() ? UCOL_ON : UCOL_OFF, &status);
    ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, like.ignorePunctuation() ? UCOL_SHIFTED : UCOL_NON_IGNORABLE,
                      &status);
    return collator;
}

const UChar* Chars(QStringView text)
{
    return reinterpret_cast<const UChar*>(text.utf16());
}

// One text's key: its first 16 bytes as two numbers that compare as the bytes do (the keys hold
// no zero byte, so the zeros that pad a short key sort it before any longer one it begins), and
// where the whole key lies in the block of keys.
struct Key
{
    std::uint64_t head;
    std::uint64_t next;
    std::uint32_t offset;
    std::uint32_t length;
    std::uint32_t index;
};

std::uint64_t BigEndian(const std::uint8_t* bytes, std::size_t count)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        value = value << 8 | (i < count ? bytes[i] : 0u);
    }
    return value;
}

// a's bytes lie in blockA and b's in blockB (keys made by different makers lie in different blocks).
int CompareKeys(const Key& a, const std::uint8_t* blockA, const Key& b, const std::uint8_t* blockB)
{
    if (a.head != b.head) {
        return a.head < b.head ? -1 : 1;
    }
    if (a.next != b.next) {
        return a.next < b.next ? -1 : 1;
    }
    if (a.length <= 16 || b.length <= 16) {
        return 0; // equal heads with a zero in them: the keys end at the same byte
    }
    const std::uint32_t common = std::min(a.length, b.length) - 16;
    const int bytes = std::memcmp(blockA + a.offset + 16, blockB + b.offset + 16, common);
    if (bytes != 0) {
        return bytes;
    }
    return a.length < b.length ? -1 : a.length > b.length ? 1 : 0;
}

using Bytes = std::vector<std::uint8_t>;

// A text's key as the collator makes it, without the closing zero, written over key (whose memory
// is used again when it is large enough).
void CollatorKeyInto(const UCollator* collator, std::u16string_view text, Bytes& key)
{
    key.resize(std::max<std::size_t>(key.capacity(), 64));
    const auto length = static_cast<int32_t>(text.size());
    int32_t size = ucol_getSortKey(collator, text.data(), length, key.data(), static_cast<int32_t>(key.size()));
    if (size > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<std::size_t>(size));
        size = ucol_getSortKey(collator, text.data(), length, key.data(), size);
    }
    key.resize(static_cast<std::size_t>(std::max(size - 1, 0)));
}

Bytes CollatorKey(const UCollator* collator, std::u16string_view text)
{
    Bytes key;
    CollatorKeyInto(collator, text, key);
    return key;
}

} // namespace

// Keys made without the collator for texts whose every character weighs the same wherever it
// stands: in most collations the ASCII letters, digits, spaces and punctuation that make most
// Latin names, all e-mail addresses and phone numbers. Such a text's key is its characters'
// primary weights one after the other, then a secondary level that depends on its length alone.
// Making a million such keys that way costs a fraction of the collator's time. Nothing is taken
// on trust: each character, each pair of them and a longer text are checked against the
// collator's own keys, and what fails is left to it.
struct SortKeys::PlainKeys
{
    static constexpr std::size_t Longest = 48;
    // By character, its primary weights in a few bytes of their own and their length: 0 where the
    // character is not plain.
    using Weight = std::array<std::uint8_t, 4>;
    std::array<Weight, 128> weight{};
    std::array<std::uint8_t, 128> weightSize{};
    std::array<Bytes, Longest + 1> levels; // by length: the key after the primary weights

    PlainKeys() = default; // nothing plain
    explicit PlainKeys(const UCollator* collator)
    {
        // What follows the primary weights, by length, learnt from a text of zeros.
        const Bytes zero = Primary(CollatorKey(collator, u"0"));
        if (zero.empty()) {
            return;
        }
        for (std::size_t length = 1; length <= Longest; ++length) {
            const Bytes key = CollatorKey(collator, std::u16string(length, u'0'));
            const std::size_t weights = Primary(key).size();
            if (weights != length * zero.size()) {
                return; // the zeros' weights run together: nothing here is plain
            }
            levels[length].assign(key.begin() + static_cast<std::ptrdiff_t>(weights), key.end());
        }
        // A character that starts, ends or stands inside a contraction ("ch" in Slovak, "dzs" in
        // Hungarian) weighs by its neighbours.
        const std::array<bool, 128> contracted = Contracted(collator);
        std::vector<char16_t> candidates;
        for (char16_t c = 0x20; c < 0x7F; ++c) {
            const Bytes key = CollatorKey(collator, std::u16string_view(&c, 1));
            const Bytes weights = Primary(key);
            // A weight longer than a few bytes is rare enough to leave to the collator.
            if (!contracted[c] && !weights.empty() && weights.size() <= Weight{}.size() &&
                Bytes(key.begin() + static_cast<std::ptrdiff_t>(weights.size()), key.end()) == levels[1]) {
                Keep(c, weights);
                candidates.push_back(c);
            }
        }
        std::vector<bool> failed(128, false);
        for (const char16_t a : candidates) {
            for (const char16_t b : candidates) {
                const char16_t chars[] = {a, b};
                const std::u16string_view pair(chars, 2);
                if (CollatorKey(collator, pair) != Compose(pair)) {
                    failed[a] = failed[b] = true;
                }
            }
        }
        for (const char16_t c : candidates) {
            if (failed[c]) {
                Keep(c, {});
            }
        }
        const std::u16string sample = u"+49 (0)171-234.5678 #12*";
        Bytes composed;
        if (Make(sample, composed) && composed != CollatorKey(collator, sample)) {
            weightSize = {};
        }
    }

    // c's primary weights, or none where it is not plain.
    void Keep(char16_t c, const Bytes& weights)
    {
        weight[c] = {};
        std::copy(weights.begin(), weights.end(), weight[c].begin());
        weightSize[c] = static_cast<std::uint8_t>(weights.size());
    }

    // text's key, when every character of it is plain; false leaves it to the collator.
    bool Make(std::u16string_view text, Bytes& key) const
    {
        if (text.empty() || text.size() > Longest) {
            return false;
        }
        // Written through a pointer: growing the key a character at a time cost more than the
        // rest of making it. Each weight is copied whole and the pointer moved by its length.
        const Bytes& level = levels[text.size()];
        key.resize(text.size() * Weight{}.size() + level.size());
        std::uint8_t* at = key.data();
        for (const char16_t c : text) {
            if (c >= 128 || weightSize[c] == 0) {
                return false;
            }
            std::memcpy(at, weight[c].data(), Weight{}.size());
            at += weightSize[c];
        }
        at = std::copy(level.begin(), level.end(), at);
        key.resize(static_cast<std::size_t>(at - key.data()));
        return true;
    }

private:
    // The characters of the collation's contractions and prefix contexts made of ASCII alone, or
    // all of them when it cannot say.
    static std::array<bool, 128> Contracted(const UCollator* collator)
    {
        std::array<bool, 128> contracted{};
        UErrorCode status = U_ZERO_ERROR;
        USet* strings = uset_openEmpty();
        ucol_getContractionsAndExpansions(collator, strings, nullptr, true, &status);
        std::array<UChar, 64> text{};
        for (int32_t i = 0; U_SUCCESS(status) && i < uset_getItemCount(strings); ++i) {
            UChar32 first = 0;
            UChar32 last = 0;
            const int32_t length =
                uset_getItem(strings, i, &first, &last, text.data(), static_cast<int32_t>(text.size()), &status);
            for (UChar32 c = first; length == 0 && c <= last && c < 128; ++c) {
                contracted[static_cast<std::size_t>(c)] = true;
            }
            // Only a contraction of ASCII alone can form inside a plain text ("l·" cannot).
            const auto end = text.begin() + std::clamp<int32_t>(length, 0, static_cast<int32_t>(text.size()));
            if (length > static_cast<int32_t>(text.size()) ||
                std::all_of(text.begin(), end, [](UChar unit) { return unit < 128; })) {
                std::for_each(text.begin(), end, [&](UChar unit) { contracted[unit & 0x7F] = true; });
            }
        }
        uset_close(strings);
        if (U_FAILURE(status)) {
            contracted.fill(true);
        }
        return contracted;
    }
    // The primary weights: a key up to its first level separator.
    static Bytes Primary(const Bytes& key)
    {
        return Bytes(key.begin(), std::find(key.begin(), key.end(), std::uint8_t{1}));
    }
    Bytes Compose(std::u16string_view text) const
    {
        Bytes key;
        return Make(text, key) ? key : Bytes{};
    }
};

struct SortKeys::Collator
{
    UCollator* handle = nullptr;
    ~Collator() { ucol_close(handle); }
};

SortKeys::SortKeys(const QCollator& like) : m_collator(new Collator{OpenCollator(like)}) {}

SortKeys::~SortKeys() = default;

int SortKeys::Compare(QStringView a, QStringView b) const
{
    return ucol_strcoll(m_collator->handle, Chars(a), static_cast<int32_t>(a.size()), Chars(b),
                        static_cast<int32_t>(b.size()));
}

const SortKeys::PlainKeys& SortKeys::Plain(std::size_t count) const
{
    // Learning them asks the collator a few thousand times: worth it for a long list only.
    static const PlainKeys none;
    if (count < LongList) {
        return none;
    }
    std::call_once(m_plainLearnt, [this] {
        // Each listing makes its own collator, so what was learnt is kept for the program's life,
        // by everything that decides a key: the collation's locale and its settings.
        std::string name;
        UErrorCode status = U_ZERO_ERROR;
        for (const ULocDataLocaleType type : {ULOC_VALID_LOCALE, ULOC_ACTUAL_LOCALE}) {
            status = U_ZERO_ERROR;
            const char* locale = ucol_getLocaleByType(m_collator->handle, type, &status);
            name += std::string(U_SUCCESS(status) && locale != nullptr ? locale : "?") + '/';
        }
        for (const UColAttribute attribute : {UCOL_STRENGTH, UCOL_NUMERIC_COLLATION, UCOL_ALTERNATE_HANDLING,
                                              UCOL_CASE_LEVEL, UCOL_CASE_FIRST, UCOL_NORMALIZATION_MODE}) {
            status = U_ZERO_ERROR;
            name += std::to_string(ucol_getAttribute(m_collator->handle, attribute, &status)) + '/';
        }
        static std::mutex learning;
        static std::map<std::string, std::shared_ptr<const PlainKeys>> learnt;
        const std::scoped_lock lock(learning);
        std::shared_ptr<const PlainKeys>& plain = learnt[name];
        if (!plain) {
            plain = std::make_shared<const PlainKeys>(m_collator->handle);
        }
        m_plain = plain;
    });
    return *m_plain;
}

// About the length of a name's or a phone number's key: the block of a maker is made this large
// per text at first.
constexpr std::size_t TypicalKeyBytes = 24;

struct SortKeys::Maker::Part
{
    UCollator* collator = nullptr; // a clone: a collator serves one thread at a time
    const PlainKeys* plain = nullptr;
    LargeVector<Key> keys;
    LargeVector<std::uint8_t> block;
    Bytes key;

    ~Part() { ucol_close(collator); }
};

SortKeys::Maker::Maker(const SortKeys& keys, std::size_t count) : m_part(std::make_unique<Part>())
{
    UErrorCode status = U_ZERO_ERROR;
    m_part->collator = ucol_clone(keys.m_collator->handle, &status);
    if (U_FAILURE(status) || m_part->collator == nullptr) {
        throw std::bad_alloc();
    }
    m_part->plain = &keys.Plain(count);
    m_part->key.reserve(256);
    // Room for all of them at once, whichever maker ends up with most: only the memory written is
    // ever taken, and the keys are never copied to grow.
    m_part->keys.reserve(count);
    m_part->block.reserve(count * TypicalKeyBytes);
}

SortKeys::Maker::~Maker() = default;
SortKeys::Maker::Maker(Maker&&) noexcept = default;

void SortKeys::Maker::Add(std::size_t index, QStringView text)
{
    Part& part = *m_part;
    const std::u16string_view chars(reinterpret_cast<const char16_t*>(text.utf16()),
                                    static_cast<std::size_t>(text.size()));
    if (!part.plain->Make(chars, part.key)) {
        CollatorKeyInto(part.collator, chars, part.key);
    }
    const std::size_t bytes = part.key.size();
    part.keys.push_back({BigEndian(part.key.data(), bytes), bytes > 8 ? BigEndian(part.key.data() + 8, bytes - 8) : 0,
                         static_cast<std::uint32_t>(part.block.size()), static_cast<std::uint32_t>(bytes),
                         static_cast<std::uint32_t>(index)});
    part.block.insert(part.block.end(), part.key.begin(), part.key.end());
}

RowPlaces SortKeys::Ranks(std::size_t count, const std::function<QString(std::size_t)>& text) const
{
    // Two halves at once, each with a maker of its own.
    const std::size_t half = count >= LongList ? count / 2 : count;
    std::vector<Maker> makers;
    makers.emplace_back(*this, count);
    const auto make = [&](Maker& maker, std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) {
            maker.Add(i, text(i));
        }
    };
    if (half < count) {
        makers.emplace_back(*this, count);
        std::jthread helper([&] { make(makers[1], half, count); });
        make(makers[0], 0, half);
    } else {
        make(makers[0], 0, count);
    }
    return Ranks(makers, count);
}

RowPlaces SortKeys::Ranks(std::vector<Maker>& makers, std::size_t count)
{
    // Each maker's keys are sorted where they lie, a long list's in two halves; the places then
    // come from walking those runs in merged order. Nothing is gathered into one array first: for
    // a million texts, copying the keys and their bytes together took as long as sorting them.
    struct Run
    {
        Key* next;
        Key* end;
        const std::uint8_t* block;
        std::size_t Size() const { return static_cast<std::size_t>(end - next); }
    };
    std::vector<Run> runs;
    std::size_t total = 0;
    for (Maker& maker : makers) {
        Maker::Part& part = *maker.m_part;
        Key* first = part.keys.data();
        Key* last = first + part.keys.size();
        total += part.keys.size();
        if (part.keys.size() >= LongList) {
            Key* middle = first + part.keys.size() / 2;
            runs.push_back({first, middle, part.block.data()});
            runs.push_back({middle, last, part.block.data()});
        } else if (first != last) {
            runs.push_back({first, last, part.block.data()});
        }
    }

    const auto sortRun = [](const Run& run) {
        std::sort(run.next, run.end,
                  [block = run.block](const Key& a, const Key& b) { return CompareKeys(a, block, b, block) < 0; });
    };
    if (total >= LongList && runs.size() > 1) {
        // The runs shared out between two threads, the longest first, each to the one with less.
        std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.Size() > b.Size(); });
        std::vector<const Run*> mine;
        std::vector<const Run*> theirs;
        std::size_t mineSize = 0;
        std::size_t theirsSize = 0;
        for (const Run& run : runs) {
            const bool toMine = mineSize <= theirsSize;
            (toMine ? mine : theirs).push_back(&run);
            (toMine ? mineSize : theirsSize) += run.Size();
        }
        std::jthread helper([&] {
            for (const Run* run : theirs) {
                sortRun(*run);
            }
        });
        for (const Run* run : mine) {
            sortRun(*run);
        }
    } else {
        for (const Run& run : runs) {
            sortRun(run);
        }
    }

    RowPlaces ranks(count, 0);
    // The places of the runs' keys in merged order, from place first on.
    const auto walk = [&ranks](std::vector<Run> merged, std::uint32_t first) {
        const Key* previous = nullptr;
        const std::uint8_t* previousBlock = nullptr;
        std::uint32_t previousRank = 0;
        for (std::uint32_t place = first;; ++place) {
            Run* least = nullptr;
            for (Run& run : merged) {
                if (run.next != run.end &&
                    (least == nullptr || CompareKeys(*run.next, run.block, *least->next, least->block) < 0)) {
                    least = &run;
                }
            }
            if (least == nullptr) {
                break;
            }
            const Key& key = *least->next++;
            const bool same = previous != nullptr && CompareKeys(key, least->block, *previous, previousBlock) == 0;
            previousRank = same ? previousRank : place;
            ranks[key.index] = previousRank;
            previous = &key;
            previousBlock = least->block;
        }
    };
    if (total >= LongList && runs.size() > 1) {
        // Walked in two halves at once, split at the middle key of the longest run: the keys below
        // it in every run, then those from it on. Equal keys all fall on one side, so a place
        // shared by equal texts never straddles the halves.
        const Run& longest =
            *std::max_element(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.Size() < b.Size(); });
        const Key middle = longest.next[longest.Size() / 2];
        const std::uint8_t* middleBlock = longest.block;
        std::vector<Run> below;
        std::vector<Run> above;
        std::size_t belowCount = 0;
        for (const Run& run : runs) {
            Key* split = std::lower_bound(run.next, run.end, middle, [&](const Key& key, const Key& m) {
                return CompareKeys(key, run.block, m, middleBlock) < 0;
            });
            below.push_back({run.next, split, run.block});
            above.push_back({split, run.end, run.block});
            belowCount += static_cast<std::size_t>(split - run.next);
        }
        std::jthread helper([&] { walk(std::move(above), static_cast<std::uint32_t>(belowCount)); });
        walk(std::move(below), 0);
    } else {
        walk(std::move(runs), 0);
    }
    for (Maker& maker : makers) {
        maker.m_part->keys = {};
        maker.m_part->block = {};
    }
    return ranks;
}

#include "runtime_cases.h"

#include "pack.h"
#include "pack_inputs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace zkrt {

using namespace zktest;

void add_stream_jobs(std::vector<Job>& jobs, const std::string& name, const Bytes& stream, bool only_whole)
{
    const std::size_t orig_size = stream.size() >= 2 ? zk::pack_orig_size(stream.data()) : 0;
    auto add = [&](const std::string& how, Bytes input, std::size_t room) {
        Job j{name + " (" + how + ")", Op::Unpack, std::move(input)};
        j.readable = unpack_reach(j.input.data(), j.input.size());
        j.room = room;
        j.answer = expect_unpack(j.input.data(), j.input.size(), room);
        j.may_write = j.answer.result == -1 || j.answer.result == -2 ? 0 : orig_size;
        jobs.push_back(std::move(j));
    };
    add("whole", stream, orig_size);
    Bytes trailed = stream;
    trailed.insert(trailed.end(), {0xFF, 0x00, 0xA5});
    add("3 bytes past it, 9 bytes of room to spare", trailed, orig_size + 9);
    if (only_whole) return;
    if (orig_size > 0) add("a byte of room short", stream, orig_size - 1);
    if (!stream.empty()) add("its last byte missing", Bytes(stream.begin(), stream.end() - 1), orig_size);
}

void add_archive_jobs(std::vector<Job>& jobs, const std::string& name, const Bytes& arc)
{
    const std::uint8_t* p = arc.data();
    const std::size_t avail = arc.size();
    const long count = expect_count(p, avail);
    jobs.push_back({name + " count", Op::Count, arc, avail, 0, 0, 0, {count, {}}});
    for (long i = -1; i <= std::max(count, 0L); ++i) {
        const std::string entry = name + " entry " + std::to_string(i);
        const long size = expect_entry(p, avail, i, 0, true).result;
        jobs.push_back({entry + " size", Op::Size, arc, avail, i, 0, 0, {size, {}}});
        for (long room : {size, size - 1, size + 5}) {
            if (room < 0) room = 0;
            const auto r = static_cast<std::size_t>(room);
            const auto may_write = static_cast<std::size_t>(std::max(size, 0L));
            jobs.push_back({entry + " room " + std::to_string(room), Op::Extract, arc, avail, i, r, may_write,
                            expect_entry(p, avail, i, r, false)});
        }
    }
}

std::vector<Job> corpus_jobs()
{
    std::vector<Job> jobs;
    const std::filesystem::path dir = ZK_RUNTIME_STREAMS;
    if (!std::filesystem::is_directory(dir)) return jobs;
    std::vector<std::filesystem::path> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path());
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        std::ifstream f(name, std::ios::binary);
        add_stream_jobs(jobs, name.filename().string(), Bytes{std::istreambuf_iterator<char>(f), {}}, true);
    }
    return jobs;
}

namespace {

Bytes packed(const Bytes& data, const zk::PackOptions& options = {})
{
    Bytes stream;
    EXPECT_EQ(zk::pack_stream(data.data(), data.size(), options, stream), zk::PackResult::Ok);
    return stream;
}

}  // namespace

std::vector<Job> stream_jobs()
{
    std::vector<Job> jobs;
    std::mt19937 rng(23);
    auto add = [&](const std::string& name, const Bytes& s, bool only_whole = false) {
        add_stream_jobs(jobs, name, s, only_whole);
    };

    // The encoder's: small inputs (the corpus has the largest), runs of
    // every length class, delta repeats, every escape width.
    add("empty input", packed({}));
    add("one byte", packed({0x41}));
    add("two 0xFF", packed({0xFF, 0xFF}));
    add("random bytes", packed(random_bytes(3000, 2)));
    Bytes runs;
    for (unsigned len : {2u, 3u, 31u, 32u, 33u, 64u, 65u, 128u, 129u, 255u, 256u, 257u, 300u, 4000u, 16129u}) {
        runs.insert(runs.end(), len, static_cast<std::uint8_t>(rng()));
        runs.push_back(static_cast<std::uint8_t>(rng()));
    }
    for (int G = zk::kPackMinGammaLimit; G <= zk::kPackMaxGammaLimit; ++G)
        add("runs G=" + std::to_string(G), packed(runs, {.gamma_limit = G}));
    add("65535 equal bytes", packed(Bytes(65535, 0x99)));
    add("65535 structured bytes", packed(structured_data(65535, rng)));
    Bytes deltas = random_bytes(200, 4);
    for (unsigned k = 0; k < 40; ++k)
        for (unsigned i = 0; i < 200; ++i)
            deltas.push_back(static_cast<std::uint8_t>(deltas[deltas.size() - 200] + 3 * k + 1));
    add("delta repeats", packed(deltas));
    const Bytes text = structured_data(3000, rng);
    for (int E = 0; E <= zk::kPackMaxEscapeBits; ++E)
        for (int G = zk::kPackMinGammaLimit; G <= zk::kPackMaxGammaLimit; ++G)
            add("E=" + std::to_string(E) + " G=" + std::to_string(G),
                packed(text, {.escape_bits = E, .gamma_limit = G, .extra_offset_bits = (E + G) % 5}));

    // The test encoder's: random token choices with every E, G and X; the
    // farthest copies of each G and X; copies from every short distance,
    // far from the output's end and ending at it.
    for (unsigned E = 0; E <= 8; ++E)
        for (unsigned G = 5; G <= 7; ++G)
            for (unsigned X = 0; X <= 4; ++X) {
                const PackParams p{.escape_bits = E, .escape_code = E ? static_cast<unsigned>(rng() % (1u << E)) : 0,
                                   .gamma_limit = G, .extra_bits = X, .run_table = {0, 1, 2, 0xFF}};
                const std::string name = "tokens E=" + std::to_string(E) + " G=" + std::to_string(G) + " X=" + std::to_string(X);
                add(name, pack_random(structured_data(rng() % 2000, rng), p, rng), true);
            }
    for (unsigned G = 5; G <= 7; ++G)
        for (unsigned X = 0; X <= 4; ++X) {
            PackWriter w({.gamma_limit = G, .extra_bits = X});
            const auto dist = static_cast<unsigned>(std::min<unsigned long>(w.max_long_distance(), 65000));
            for (std::uint8_t b : {0xAB, 0xCD, 0xEF}) w.literal(b);
            for (unsigned left = dist - 3; left > 0;) {
                const unsigned count = left <= 8000 ? left : 4000;
                w.run(0, count);
                left -= count;
            }
            w.long_copy(dist, 3);
            w.end_marker();
            add("farthest copy G=" + std::to_string(G) + " X=" + std::to_string(X), w.finish(dist + 3), true);
        }
    for (unsigned dist = 1; dist <= 17; ++dist)
        for (unsigned len : {5u, 9u, 40u})
            for (unsigned delta : {0u, 0x81u})
                for (unsigned tail : {0u, 9u}) {
                    PackWriter w({});
                    for (unsigned k = 0; k < 20; ++k) w.literal(static_cast<std::uint8_t>(k * 37 + 0x80));
                    delta ? w.delta_copy(dist, len, static_cast<std::uint8_t>(delta)) : w.long_copy(dist, len);
                    for (unsigned k = 0; k < tail; ++k) w.literal(static_cast<std::uint8_t>(k));
                    w.end_marker(tail ? 2 : 3);
                    add("copy " + std::to_string(dist) + " back " + std::to_string(len) + " bytes +" +
                            std::to_string(delta) + " tail " + std::to_string(tail),
                        w.finish(20 + len + tail), true);
                }

    // Tokens at the edges of the format: runs by table entry, direct and in
    // the long form; a table index past the table; an escape code wider
    // than its bits, which makes every token a literal; an early end marker.
    PackWriter table({.escape_bits = 0, .run_table = {0x55, 0x66}});
    table.run(0x99, 300);
    table.run(0x66, 3, 2);
    table.run(0x01, 2, 0, true);
    table.run(0x00, 2, 3);
    table.end_marker();
    add("runs", table.finish(307));
    Bytes wide = PackWriter({.escape_bits = 2, .escape_code = 7}).finish(3);
    wide.insert(wide.end(), {'A', 0xC1, 0x00});
    add("escape code wider than its bits", wide);
    PackWriter early({});
    early.literal('x');
    early.end_marker();
    add("early end marker", early.finish(40));
    for (unsigned t = 1; t <= 31; ++t) {  // among them the stream's last byte, and the byte after it
        PackWriter w({.escape_bits = 0, .run_table = {0x5A}});
        w.run(0, 2, t);
        w.end_marker();
        add("run table index " + std::to_string(t), w.finish(2));
    }

    // Damaged: header fields at and past the ends of their ranges, in a
    // stream of every kind of token and in one of literals alone, which
    // decodes whatever X says; every cut of a stream, with its csize
    // following the cut; every bit flipped; random bytes after a sound
    // header.
    const Bytes sample = sample_stream();
    PackWriter literals({});
    for (std::uint8_t b : bytes_of("literals")) literals.literal(b);
    literals.end_marker();
    const std::size_t R = zk::kPackRunTableSizeOffset;
    const std::vector<std::vector<std::pair<std::size_t, int>>> edits = {
        {{9, 8}}, {{9, 9}}, {{9, 0xFF}}, {{12, 4}}, {{12, 5}}, {{12, 0xFF}},
        {{10, 6}}, {{10, 7}}, {{10, 7}, {11, 64}}, {{11, 64}}, {{10, 5}, {11, 16}}, {{10, 9}, {11, 0}}, {{10, 0xFF}},
        {{R, int(sample.size() - 16)}}, {{R, int(sample.size() - 15)}}, {{R, 0xFF}},
    };
    for (const Bytes& stream : {sample, literals.finish(8)})
        for (const auto& edit : edits) {
            Bytes edited = stream;
            std::string name = "header";
            for (const auto& [at, value] : edit) {
                edited[at] = static_cast<std::uint8_t>(value);
                name += " " + std::to_string(at) + "=" + std::to_string(value);
            }
            add(name, edited);
        }
    for (std::size_t n = 0; n < sample.size(); ++n) {
        Bytes cut(sample.begin(), sample.begin() + static_cast<long>(n));
        if (n >= zk::kPackCsizeEnd) put_le16(cut, zk::kPackCsizeOffset, static_cast<unsigned>(n));
        add("cut to " + std::to_string(n), cut, true);
    }
    for (std::size_t bit = 0; bit < 8 * sample.size(); ++bit) {
        Bytes flipped = sample;
        flipped[bit / 8] ^= static_cast<std::uint8_t>(0x80 >> bit % 8);
        add("bit " + std::to_string(bit) + " flipped", flipped, true);
    }
    for (int round = 0; round < 300; ++round) {
        auto pick = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };
        Bytes s = PackWriter({.escape_bits = pick(9), .escape_code = pick(256), .gamma_limit = 5 + pick(3),
                              .extra_bits = pick(5)})
                      .finish(pick(300));
        s[zk::kPackRunTableSizeOffset] = static_cast<std::uint8_t>(pick(8));
        for (unsigned k = pick(64); k-- > 0;) s.push_back(static_cast<std::uint8_t>(rng()));
        put_le16(s, zk::kPackCsizeOffset, static_cast<unsigned>(s.size()));
        add("random tokens " + std::to_string(round), s, true);
    }
    return jobs;
}

std::vector<Job> archive_jobs(const TempDir& dir)
{
    std::vector<Job> jobs;
    std::mt19937 rng(31);

    // zkarchive's: every kind of entry, packed where that pays and stored.
    std::vector<std::string> files;
    const std::vector<std::pair<std::string, Bytes>> entries{
        {"empty", {}},
        {"level", structured_data(3000, rng)},
        {"zp", bytes_of("abZP and more bytes")},  // must be packed
        {"one", {7}},
        {"noise", random_bytes(700, 5)},
        {"two", bytes_of("ab")},
        {"three", bytes_of("xyZ")},
    };
    for (const auto& [name, data] : entries) {
        dir.write(name, data);
        files.push_back(name);
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-s89", "packed"}, {"-s92", "packed92"}, {"-s89", "-store", "stored"}}) {
        std::vector<std::string> with_files = args;
        with_files.insert(with_files.end(), files.begin(), files.end());
        EXPECT_EQ(run_tool("zkarchive", with_files, dir).status, 0) << args.back();
        const std::string file = args.back() + (args[0] == "-s92" ? ".9xy" : ".89y");
        add_archive_jobs(jobs, "zkarchive " + file, variable_content(dir.read(file)));
    }

    // Built here: entries at the image's end and past it; streams whose
    // csize passes the image's end (zkunarchive decodes them cut there),
    // whose header is cut short or damaged; counts of no entry, of 32768
    // and more, and too large for the image; another magic; every cut.
    const Bytes data = bytes_of("packed packed packed packed");
    const Bytes stream = sample_stream(data);
    Bytes long_csize = stream;
    put_le16(long_csize, zk::kPackCsizeOffset, 0xFFFF);
    Bytes bad_gamma = stream;
    bad_gamma[zk::kPackGammaBitsOffset] = 9;
    const auto n = static_cast<unsigned>(stream.size());
    struct Built {
        std::string name;
        std::vector<BuiltEntry> entries;
        unsigned count;
    };
    const std::vector<Built> built{
        {"no entries", {}, 0},
        {"stored and packed", {{data, 27, 0}, {stream, n, 27}}, 2},
        {"stored past the end", {{data, 28, 0}}, 1},
        {"stored at the start of the next", {{data, 3, 0}, {bytes_of("abZP"), 4, 3}}, 2},
        {"csize past the end", {{long_csize, n, 0}}, 1},
        {"header cut short", {{Bytes(stream.begin(), stream.begin() + 10), 10, 0}}, 1},
        {"magic at the very end", {{Bytes(stream.begin(), stream.begin() + 5), 5, 0}}, 1},
        {"damaged header", {{bad_gamma, n, 0}}, 1},
        {"count 32768", {{data, 27, 0}}, 0x8000},
        {"count 65535", {{data, 27, 0}}, 0xFFFF},
        {"count past the image", {{data, 27, 0}}, 3},
    };
    // The archive from its magic on: the image without its data size word.
    auto arc_of = [](const Bytes& image, std::size_t end) { return Bytes(image.begin() + 2, image.begin() + static_cast<long>(end)); };
    for (const Built& b : built) {
        const Bytes image = archive_image(b.entries, b.count);
        add_archive_jobs(jobs, b.name, arc_of(image, image.size()));
    }
    Bytes other = archive_image({{data, 27, 0}}, 1);
    other[5] = 1;
    add_archive_jobs(jobs, "another magic", arc_of(other, other.size()));
    const Bytes whole = archive_image(built[1].entries, 2);
    for (std::size_t cut = 2; cut < whole.size(); ++cut) add_archive_jobs(jobs, "cut to " + std::to_string(cut), arc_of(whole, cut));
    return jobs;
}

Bytes variable_content(const Bytes& file)
{
    return Bytes(file.begin() + 88, file.end() - 2);
}

testing::AssertionResult agrees(const Job& job, long result, const std::uint8_t* dst, std::uint8_t fill)
{
    if (result != job.answer.result)
        return testing::AssertionFailure() << job.name << ": result " << result << ", desktop " << job.answer.result;
    const bool wrote = (job.op == Op::Unpack && result == 0) || (job.op == Op::Extract && result >= 0);
    const std::size_t written = wrote ? job.answer.out.size() : 0;
    if (written > 0 && !std::equal(job.answer.out.begin(), job.answer.out.end(), dst))
        return testing::AssertionFailure() << job.name << ": bytes differ from the desktop's";
    const std::size_t untouched_from = wrote ? written : std::min(job.may_write, job.room);
    for (std::size_t i = untouched_from; i < job.room; ++i)
        if (dst[i] != fill)
            return testing::AssertionFailure() << job.name << ": wrote at " << i << " of " << job.room << " (result " << result << ")";
    return testing::AssertionSuccess();
}

}  // namespace zkrt

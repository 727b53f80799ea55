// A bounded random-input run for compilers without libFuzzer: mutates the seed files
// given on the command line (and a few built-in shapes) for a fixed number of inputs.
// Usage: fuzz_x [--runs N] [--seed S] [seed files...]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "fuzz_targets.h"

namespace {

const char* const kAlphabet[] = {"\r\n", "\n", "\r", "\t", ",", "\"", "/", " ", "my fav", "exit", "enforce",
                                 ":", "30", "-", ".", "E", "&H", "0123", "High", "Default", "C:\\a.exe",
                                 "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "\xC3\xA9", "\xF0\x9F\x8E\xAE", "%", "?"};

std::string Mutate(std::string input, std::mt19937& rng) {
    std::uniform_int_distribution<int> op(0, 5);
    int steps = 1 + static_cast<int>(rng() % 8);
    for (int s = 0; s < steps; ++s) {
        std::size_t at = input.empty() ? 0 : rng() % (input.size() + 1);
        switch (op(rng)) {
            case 0: input.insert(at, 1, static_cast<char>(rng())); break;
            case 1: input.insert(at, kAlphabet[rng() % std::size(kAlphabet)]); break;
            case 2: if (!input.empty()) input.erase(at % input.size(), 1 + rng() % 4); break;
            case 3: if (!input.empty()) input[at % input.size()] = static_cast<char>(rng()); break;
            case 4: if (!input.empty()) input.insert(at, input.substr(rng() % input.size(), 1 + rng() % 16)); break;
            default: if (input.size() > 1) input.resize(rng() % input.size()); break;
        }
        if (input.size() > 4096) input.resize(4096);
    }
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    long runs = 20000;
    unsigned seed = 12345;
    std::vector<std::string> corpus = {"", "Header\r\nx\t01\tHigh\tC:\\a.exe\r\n", "/My Favs 2 /enforce:30 /exit"};
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) {
            runs = std::atol(argv[++i]);
        } else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc) {
            seed = static_cast<unsigned>(std::atol(argv[++i]));
        } else {
            std::ifstream in(argv[i], std::ios::binary);
            corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    std::mt19937 rng(seed);
    for (const std::string& c : corpus) MJR_FUZZ_TARGET(reinterpret_cast<const std::uint8_t*>(c.data()), c.size());
    for (long r = 0; r < runs; ++r) {
        std::string input = Mutate(corpus[rng() % corpus.size()], rng);
        MJR_FUZZ_TARGET(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
        if (rng() % 16 == 0) corpus.push_back(std::move(input));
        if (corpus.size() > 512) corpus.erase(corpus.begin() + 3);
    }
    std::printf("%ld inputs, no fault\n", runs);
    return 0;
}

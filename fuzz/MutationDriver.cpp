// A bounded random-mutation driver for fuzz targets, for builds without libFuzzer: it feeds every seed
// file, then random mutations of them, to LLVMFuzzerTestOneInput, stopping after a number of inputs or
// seconds. The seed of the random generator is printed so a failure can be replayed (--seed N).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void mutate(Bytes& b, std::mt19937_64& rng, const std::vector<Bytes>& seeds)
{
    const int steps = 1 + int(rng() % 4);
    for (int s = 0; s < steps; ++s) {
        switch (rng() % 7) {
        case 0:  // flip a bit
            if (!b.empty())
                b[rng() % b.size()] ^= uint8_t(1u << (rng() % 8));
            break;
        case 1:  // set a byte to an interesting value
            if (!b.empty()) {
                static const uint8_t interesting[] = {0, 1, 0x7f, 0x80, 0xff, 'e', 'd', 'l', 'i', ':', '-', '0', '9'};
                b[rng() % b.size()] = interesting[rng() % sizeof interesting];
            }
            break;
        case 2:  // insert random bytes
            if (b.size() < (1u << 20)) {
                const size_t at = b.empty() ? 0 : rng() % (b.size() + 1);
                const size_t n = 1 + rng() % 8;
                for (size_t i = 0; i < n; ++i)
                    b.insert(b.begin() + long(at), uint8_t(rng()));
            }
            break;
        case 3:  // erase a range
            if (!b.empty()) {
                const size_t at = rng() % b.size();
                const size_t n = std::min<size_t>(b.size() - at, 1 + rng() % 16);
                b.erase(b.begin() + long(at), b.begin() + long(at + n));
            }
            break;
        case 4:  // duplicate a range
            if (!b.empty() && b.size() < (1u << 20)) {
                const size_t at = rng() % b.size();
                const size_t n = std::min<size_t>(b.size() - at, 1 + rng() % 64);
                Bytes copy(b.begin() + long(at), b.begin() + long(at + n));
                b.insert(b.begin() + long(rng() % (b.size() + 1)), copy.begin(), copy.end());
            }
            break;
        case 5:  // splice with another seed
            if (!seeds.empty()) {
                const Bytes& other = seeds[rng() % seeds.size()];
                if (!other.empty()) {
                    const size_t from = rng() % other.size();
                    const size_t cut = b.empty() ? 0 : rng() % b.size();
                    b.resize(cut);
                    b.insert(b.end(), other.begin() + long(from), other.end());
                }
            }
            break;
        default:  // write a decimal number somewhere
            if (!b.empty()) {
                const std::string number = std::to_string(int64_t(rng()) >> (rng() % 64));
                const size_t at = rng() % b.size();
                b.insert(b.begin() + long(at), number.begin(), number.end());
            }
            break;
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    long iterations = 10000;
    double seconds = 30;
    uint64_t seed = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    std::vector<Bytes> seeds;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--iterations") && i + 1 < argc)
            iterations = std::atol(argv[++i]);
        else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc)
            seed = std::strtoull(argv[++i], nullptr, 10);
        else if (std::filesystem::is_directory(argv[i]))
            for (const auto& entry : std::filesystem::directory_iterator(argv[i]))
                seeds.push_back(readFile(entry.path()));
        else if (std::filesystem::is_regular_file(argv[i]))
            seeds.push_back(readFile(argv[i]));
    }
    std::printf("fuzz: seed %llu, %zu seed inputs\n", (unsigned long long)seed, seeds.size());
    if (seeds.empty())
        seeds.push_back({});
    for (const auto& s : seeds)
        LLVMFuzzerTestOneInput(s.data(), s.size());

    std::mt19937_64 rng(seed);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    long run = 0;
    for (; run < iterations && std::chrono::steady_clock::now() < deadline; ++run) {
        Bytes input = seeds[rng() % seeds.size()];
        mutate(input, rng, seeds);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("fuzz: %ld inputs ran clean\n", run);
    return 0;
}

// The emulator alone, in fast mode, through its byte-stream face: it must never be what an
// end-to-end measurement measures.
#include "emulator/reader.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

using namespace emulator;

std::array<std::uint8_t, 32> packet(std::uint8_t command, std::uint16_t block, std::uint8_t sector) {
    std::array<std::uint8_t, 32> p{};
    std::memcpy(p.data(), "RDX-700 ", 8);
    p[8] = command & 0x0F;
    p[9] = static_cast<std::uint8_t>(block);
    p[10] = static_cast<std::uint8_t>(block >> 8);
    p[11] = sector;
    p[12] = (command & 0x10) ? 1 : 0;
    std::memcpy(p.data() + 24, " RDX-END", 8);
    return p;
}

// A reader with a 16 MiB card whose every block holds data, so that reads copy real flash.
// Argument 1: with the command log the tests use (its default size), 0: without.
Reader& loadedReader(const benchmark::State& state) {
    static Reader* readers[2] = {};
    Reader*& reader = readers[state.range(0) != 0];
    if (!reader) {
        reader = new Reader;
        auto card = std::make_shared<Card>(0x73);
        card->poke(0, std::vector<std::uint8_t>(card->sizeBytes(), 0x5A));
        reader->insert(card);
        if (state.range(0) == 0) reader->setLogLimit(0);
    }
    return *reader;
}

// One sector read: command, reply, 512 bytes.
void SectorRead(benchmark::State& state) {
    Reader& reader = loadedReader(state);
    std::vector<std::uint8_t> buffer(512);
    std::uint32_t sector = 0;
    for (auto _ : state) {
        const auto p = packet(protocol::kReadSector, static_cast<std::uint16_t>(sector >> 5), sector & 31);
        reader.write(p);
        reader.read(std::span(buffer).first(8));
        benchmark::DoNotOptimize(reader.read(buffer));
        sector = (sector + 1) & 0x7FFF;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * 512);
}
BENCHMARK(SectorRead)->ArgName("log")->Arg(0)->Arg(1);

// One sector write: command, reply, 512 bytes out, reply.
void SectorWrite(benchmark::State& state) {
    Reader& reader = loadedReader(state);
    std::vector<std::uint8_t> data(512, 0x5A), reply(8);
    std::uint32_t sector = 0;
    for (auto _ : state) {
        const auto p = packet(protocol::kWriteSector, static_cast<std::uint16_t>(sector >> 5), sector & 31);
        reader.write(p);
        reader.read(reply);
        reader.write(data);
        benchmark::DoNotOptimize(reader.read(reply));
        sector = (sector + 1) & 0x7FFF;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SectorWrite)->ArgName("log")->Arg(0)->Arg(1);

// One whole-block read of 16 KiB: command, reply, one transfer.
void WholeBlockRead(benchmark::State& state) {
    Reader& reader = loadedReader(state);
    std::vector<std::uint8_t> buffer(16384);
    std::uint16_t block = 0;
    for (auto _ : state) {
        reader.write(packet(protocol::kReadBlock, block, 31));
        reader.read(std::span(buffer).first(8));
        benchmark::DoNotOptimize(reader.read(buffer));
        benchmark::ClobberMemory();
        block = (block + 1) & 1023;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * 16384);
}
BENCHMARK(WholeBlockRead)->ArgName("log")->Arg(0)->Arg(1);

// Erase and rewrite a whole block, as a message write does.
void WholeBlockEraseAndWrite(benchmark::State& state) {
    Reader& reader = loadedReader(state);
    std::vector<std::uint8_t> data(16384, 0x5A), reply(8);
    std::uint16_t block = 0;
    for (auto _ : state) {
        reader.write(packet(protocol::kErase, block, 0));
        reader.read(reply);
        reader.write(packet(protocol::kWriteBlock, block, 31));
        reader.read(reply);
        reader.write(data);
        benchmark::DoNotOptimize(reader.read(reply));
        block = (block + 1) & 1023;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * 16384);
}
BENCHMARK(WholeBlockEraseAndWrite)->ArgName("log")->Arg(0)->Arg(1);

}  // namespace

#include "TraceTestSupport.h"

#include <trace/IoLibLock.h>
#include <trace/TraceConversion.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace tracetest {

using Ovik::detail::ioLibMutex;

void ReadRelease::operator()(Read* read) const {
    std::lock_guard<std::mutex> lock(ioLibMutex());
    read_deallocate(read);
}

static char* duplicate(const char* text) {
    char* copy = static_cast<char*>(std::malloc(std::strlen(text) + 1));
    std::strcpy(copy, text);
    return copy;
}

ReadPtr makeRead(int points, int bases) {
    Read* raw = nullptr;
    {
        std::lock_guard<std::mutex> lock(ioLibMutex());
        raw = read_allocate(points, bases);
    }
    ReadPtr read(raw);
    if (!read)
        return read;
    read->format = TT_SCF;
    TRACE maximum = 0;
    for (int i = 0; i < points; ++i) {
        read->traceA[i] = static_cast<TRACE>((i * 37) % 1500);
        read->traceC[i] = static_cast<TRACE>((i * 53 + 11) % 1700);
        read->traceG[i] = static_cast<TRACE>((i * 71 + 29) % 1300);
        read->traceT[i] = static_cast<TRACE>((i * 97 + 5) % 1900);
        for (TRACE v : {read->traceA[i], read->traceC[i], read->traceG[i], read->traceT[i]})
            maximum = v > maximum ? v : maximum;
    }
    read->maxTraceVal = maximum;
    static const char calls[] = "ACGTACGGTCAN-TTGCA";
    for (int i = 0; i < bases; ++i) {
        read->base[i] = calls[i % (sizeof(calls) - 1)];
        read->basePos[i] = static_cast<uint_2>(points > 1 ? (i * (points - 1)) / (bases > 1 ? bases - 1 : 1) : 0);
        read->prob_A[i] = static_cast<char>((i * 3) % 60);
        read->prob_C[i] = static_cast<char>((i * 5 + 1) % 60);
        read->prob_G[i] = static_cast<char>((i * 7 + 2) % 60);
        read->prob_T[i] = static_cast<char>((i * 11 + 3) % 60);
    }
    read->leftCutoff = bases > 4 ? 2 : 0;
    read->rightCutoff = bases > 4 ? bases - 1 : bases + 1;
    read->info = duplicate("NAME=fixture\nMACH=unit test\n");
    read->ident = duplicate("fixture");
    return read;
}

bool writeRead(Read& read, const std::string& path, int format) {
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    std::lock_guard<std::mutex> lock(ioLibMutex());
    return write_reading(name.data(), &read, format) == 0;
}

ReadPtr decodeDirectly(const std::string& path) {
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    Read* raw = nullptr;
    {
        std::lock_guard<std::mutex> lock(ioLibMutex());
        mFILE* file = mfopen(path.c_str(), "rb");
        if (!file)
            return ReadPtr();
        raw = mfread_reading(file, name.data(), TT_ANY);
        mfclose(file);
    }
    return ReadPtr(raw);
}

static std::string expectedCalls(const Read& read) {
    // The record keeps upper-case IUPAC codes only: '-' (the decoder's N) and anything else is N.
    std::string calls(read.base, read.base + read.NBases);
    for (char& c : calls) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (!c || !std::strchr("ACGTURYKMSWBDHVN", c))
            c = 'N';
    }
    return calls;
}

void expectSameRecord(const Read& read, const Velm::TraceData& data) {
    const unsigned points = static_cast<unsigned>(read.NPoints);
    const unsigned bases = static_cast<unsigned>(read.NBases);
    EXPECT_EQ(read.trace_name ? read.trace_name : "", data.traceName());
    EXPECT_EQ(read.info ? read.info : "", data.info());
    EXPECT_EQ(read.ident ? read.ident : "", data.ident());
    EXPECT_EQ(Ovik::detail::traceFormatName(read.format), data.formatName());
    EXPECT_EQ(static_cast<int>(read.maxTraceVal), data.maxTraceVal);
    EXPECT_EQ(read.leftCutoff, data.leftCutoff);
    EXPECT_EQ(read.rightCutoff, data.rightCutoff);
    ASSERT_EQ(points, data.numPoints());
    ASSERT_EQ(bases, data.numBases());
    const TRACE* channels[4] = {read.traceA, read.traceC, read.traceG, read.traceT};
    const char* probs[4] = {read.prob_A, read.prob_C, read.prob_G, read.prob_T};
    for (unsigned c = 0; c < 4; ++c) {
        EXPECT_EQ(std::vector<std::uint16_t>(channels[c], channels[c] + points), data.channel(c))
            << "channel " << c;
        EXPECT_EQ(std::vector<unsigned char>(reinterpret_cast<const unsigned char*>(probs[c]),
                                             reinterpret_cast<const unsigned char*>(probs[c]) + bases),
                  data.probs(c))
            << "confidences " << c;
    }
    // An experiment file's edited sequence comes without sample positions.
    std::vector<std::uint16_t> positions(bases, 0);
    if (read.basePos)
        positions.assign(read.basePos, read.basePos + bases);
    for (auto& position : positions) // positions past the last sample point to the last one
        position = std::min<std::uint16_t>(position, static_cast<std::uint16_t>(points - 1));
    EXPECT_EQ(positions, data.basePos());
    EXPECT_EQ(positions, data.editBasePos());
    EXPECT_EQ(expectedCalls(read), data.bases());
}

} // namespace tracetest

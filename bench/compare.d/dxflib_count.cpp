// Yardstick for the DXF reader: libdxflib reading the file with an adapter that counts
// blocks, inserts, lines and faces.
#include <dl_creationadapter.h>
#include <dl_dxf.h>

#include <cstdio>

namespace {

struct Counter : DL_CreationAdapter {
    long blocks = 0, inserts = 0, lines = 0, faces = 0;
    void addBlock(const DL_BlockData&) override { ++blocks; }
    void addInsert(const DL_InsertData&) override { ++inserts; }
    void addLine(const DL_LineData&) override { ++lines; }
    void add3dFace(const DL_3dFaceData&) override { ++faces; }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    Counter counter;
    DL_Dxf dxf;
    if (!dxf.in(argv[1], &counter)) return 1;
    std::printf("%ld blocks, %ld inserts, %ld lines, %ld faces\n", counter.blocks, counter.inserts,
                counter.lines, counter.faces);
    return 0;
}

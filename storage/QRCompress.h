#pragma once
// The page codec: an adaptive prefix code over bytes. Each byte's code is its path in
// a binary tree of 256 inner nodes and 257 leaves; after every byte the tree is
// semi-splayed at that byte's leaf. Encoder and decoder start from the same fixed tree,
// so a page decodes by itself given the number of bytes to produce.
#include <cstdint>

namespace qrp {

class TStream;

class TQRCompress {
public:
    // encoding: true to compress into target, false to expand from it.
    TQRCompress(TStream& target, bool encoding);
    // A compressing codec writes its partly filled last byte here if Finish was not
    // called (errors are then lost; call Finish to see them).
    ~TQRCompress();

    TQRCompress(const TQRCompress&) = delete;
    TQRCompress& operator=(const TQRCompress&) = delete;

    void EncodeByte(std::uint8_t value);
    std::uint8_t DecodeByte();
    // Writes the partly filled last byte, if any (compressing only); idempotent.
    void Finish();

    void ResetTree();
    void SemiSplay(std::uint8_t value);
    std::uint8_t NextInputByte();

    // The tree, for inspection.
    std::uint16_t LeftChild(int inner) const { return leftChild_[inner]; }
    std::uint16_t RightChild(int inner) const { return rightChild_[inner]; }
    std::uint8_t Parent(int node) const { return parent_[node]; }

    static constexpr int InnerNodes = 256;
    static constexpr int Nodes = 513;

private:
    std::uint8_t bitIndex_ = 0;
    bool encoding_ = false;
    bool finished_ = false;
    std::uint16_t pendingIn_ = 0;
    std::uint16_t leftChild_[InnerNodes];
    std::uint16_t rightChild_[InnerNodes];
    std::uint16_t pendingOut_ = 0;
    TStream& target_;
    std::uint8_t parent_[Nodes];
};

} // namespace qrp

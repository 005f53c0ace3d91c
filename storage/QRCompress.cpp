#include "storage/QRCompress.h"

#include "base/Stream.h"

namespace qrp {

TQRCompress::TQRCompress(TStream& target, bool encoding) : target_(target)
{
    ResetTree();
    bitIndex_ = encoding ? 0 : 7;
    pendingOut_ = 0;
    encoding_ = encoding;
}

TQRCompress::~TQRCompress()
{
    try {
        Finish();
    } catch (...) {
        // A destructor cannot report; Finish() is how callers see the failure.
    }
}

void TQRCompress::Finish()
{
    if (!encoding_ || finished_)
        return;
    finished_ = true;
    if (bitIndex_ != 0) {
        const std::uint8_t last = static_cast<std::uint8_t>(pendingOut_);
        target_.WriteBuffer(&last, 1);
    }
}

void TQRCompress::ResetTree()
{
    for (int i = 1; i < Nodes; ++i)
        parent_[i] = static_cast<std::uint8_t>((i - 1) / 2);
    parent_[0] = 0;
    for (int j = 0; j < InnerNodes; ++j) {
        leftChild_[j] = static_cast<std::uint16_t>(2 * j + 1);
        rightChild_[j] = static_cast<std::uint16_t>(2 * j + 2);
    }
}

void TQRCompress::EncodeByte(std::uint8_t value)
{
    // A leaf is at most 256 levels deep.
    bool path[256];
    int depth = 0;
    unsigned a = 256u + value;
    do {
        const unsigned p = parent_[a];
        path[depth++] = rightChild_[p] == a;
        a = p;
    } while (a != 0);

    unsigned index = bitIndex_;
    unsigned out = pendingOut_;
    while (depth > 0) {
        if (path[--depth])
            out |= 1u << index;
        if (index == 7) {
            const std::uint8_t byte = static_cast<std::uint8_t>(out);
            target_.WriteBuffer(&byte, 1);
            index = 0;
            out = 0;
        } else {
            ++index;
        }
    }
    bitIndex_ = static_cast<std::uint8_t>(index);
    pendingOut_ = static_cast<std::uint16_t>(out);
    SemiSplay(value);
}

std::uint8_t TQRCompress::NextInputByte()
{
    std::uint8_t b = 0;
    // At the end of damaged input the read returns nothing; 0 then stands in.
    if (target_.Read(&b, 1) != 1)
        b = 0;
    return b;
}

std::uint8_t TQRCompress::DecodeByte()
{
    unsigned node = 0;
    unsigned index = bitIndex_;
    unsigned in = pendingIn_;
    do {
        if (index == 7) {
            in = NextInputByte();
            index = 0;
        } else {
            ++index;
        }
        node = (in >> index) & 1u ? rightChild_[node] : leftChild_[node];
    } while (node < 256);
    bitIndex_ = static_cast<std::uint8_t>(index);
    pendingIn_ = static_cast<std::uint16_t>(in);
    const auto value = static_cast<std::uint8_t>(node - 256);
    SemiSplay(value);
    return value;
}

void TQRCompress::SemiSplay(std::uint8_t value)
{
    unsigned a = 256u + value;
    while (a != 0) {
        const unsigned c = parent_[a];
        if (c == 0) {
            a = 0;
            continue;
        }
        const unsigned d = parent_[c];
        unsigned b = leftChild_[d];
        if (b == c) {
            b = rightChild_[d];
            rightChild_[d] = static_cast<std::uint16_t>(a);
        } else {
            leftChild_[d] = static_cast<std::uint16_t>(a);
        }
        if (leftChild_[c] == a)
            leftChild_[c] = static_cast<std::uint16_t>(b);
        else
            rightChild_[c] = static_cast<std::uint16_t>(b);
        parent_[a] = static_cast<std::uint8_t>(d);
        parent_[b] = static_cast<std::uint8_t>(c);
        a = d;
    }
}

} // namespace qrp

#include "printer/PreviewInterfaceBase.h"

namespace qrp {

namespace {
TPreviewInterfaceFactory& FactorySlot()
{
    static TPreviewInterfaceFactory factory;
    return factory;
}
} // namespace

void SetPreviewInterfaceFactory(TPreviewInterfaceFactory factory)
{
    FactorySlot() = std::move(factory);
}

const TPreviewInterfaceFactory& PreviewInterfaceFactory()
{
    return FactorySlot();
}

} // namespace qrp

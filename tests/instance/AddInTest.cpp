#include <cstring>

#include "Core.Mondrel_AddIn.h"
#include "InstanceFixture.h"

namespace {

using AddInTest = InstanceFixture;

TNHXInterfacePtr<INHXMondrelAddIn> MakeAddIn(INHXKernel* kernel) {
    return TNHXInterfacePtr<INHXMondrelAddIn>::Adopt(new TNHXAddInPlugin(kernel));
}

std::vector<std::string> BoxTexts(const TScopedMessageBoxResponder& boxes) {
    std::vector<std::string> texts;
    for (const auto& request : boxes.Requests()) {
        texts.push_back(request.Text);
    }
    return texts;
}

}  // namespace

TEST_F(AddInTest, UnknownModuleIsToldOnceButTheAddInStaysRegistered) {
    auto addIn = MakeAddIn(Host->Kernel());
    EXPECT_EQ(BoxTexts(Boxes), std::vector<std::string>{"Mondrel not loaded!"});
    EXPECT_TRUE(Host->Instances().Instances().empty());
    ASSERT_EQ(Host->AddIns().AddIns().size(), 1u);
    const TNHXAddIn& record = Host->AddIns().AddIns()[0];
    EXPECT_TRUE(record.AddInID == IID_INHXMondrelAddIn);
    EXPECT_TRUE(record.ModuleID == CLSID_Mondrel);
    EXPECT_EQ(record.Flags, 1);
    EXPECT_EQ(static_cast<void*>(record.Plugin), static_cast<void*>(addIn.Get()));

    // The registration's own pointer does not keep the plug-in alive.
    addIn.Reset();
    EXPECT_TRUE(Host->AddIns().AddIns().empty());
}

TEST_F(AddInTest, OpenTellsWhenTheHostRefusesAnInstance) {
    auto addIn = MakeAddIn(Host->Kernel());
    Boxes.Clear();
    Host->Instances().SetRefuse(true);
    EXPECT_EQ(addIn->Open(), E_FAIL);
    EXPECT_EQ(BoxTexts(Boxes), std::vector<std::string>{"Could not create new Instance!"});
}

TEST_F(AddInTest, NamesAreStableAndEveryBitmapIsNew) {
    auto addIn = MakeAddIn(Host->Kernel());
    for (int call = 0; call < 2; ++call) {
        TNHXTextRef name;
        TNHXTextRef description;
        EXPECT_EQ(addIn->GetName(name.Out()), S_OK);
        EXPECT_EQ(addIn->GetDescription(description.Out()), S_OK);
        EXPECT_EQ(name.Str(), "Mondrel");
        EXPECT_EQ(description.Str(), "Calendar for NHX - trigger scripts by date");
    }
    TNHXBytesRef first;
    TNHXBytesRef second;
    ASSERT_EQ(addIn->GetBitmap(first.Out()), S_OK);
    ASSERT_EQ(addIn->GetBitmap(second.Out()), S_OK);
    EXPECT_NE(first.Get(), second.Get());
    ASSERT_EQ(first.Length(), second.Length());
    EXPECT_EQ(std::memcmp(first.Get(), second.Get(), first.Length()), 0);

    // A BMP file: 30 x 30 pixels, 24 bits per pixel.
    ASSERT_GT(first.Length(), 54u);
    const uint8_t* bmp = first.Get();
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bits = 0;
    std::memcpy(&width, bmp + 18, 4);
    std::memcpy(&height, bmp + 22, 4);
    std::memcpy(&bits, bmp + 28, 2);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(width, 30);
    EXPECT_EQ(std::abs(height), 30);
    EXPECT_EQ(bits, 24);
}

TEST_F(AddInTest, AnswersOnlyItsTwoInterfaces) {
    auto addIn = MakeAddIn(Host->Kernel());
    for (const GUID& iid : {IID_INHXAddInPlugin, IID_INHXMondrelAddIn}) {
        TNHXInterfacePtr<INHXAddInPlugin> plugin;
        EXPECT_EQ(addIn->QueryInterface(&iid, plugin.OutVoid()), S_OK);
        EXPECT_EQ(static_cast<void*>(plugin.Get()), static_cast<void*>(addIn.Get()));
    }
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(addIn->QueryInterface(&IID_IUnknown, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

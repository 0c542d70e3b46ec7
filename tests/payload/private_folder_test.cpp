#include <gtest/gtest.h>
#include <aclapi.h>
#include <sddl.h>
#include <string>
#include "platform/security.h"
#include "scratch.h"

using PrivateFolder = Scratch;

namespace {

// The folder's access list as text ("D:(A;...)..."); empty when unreadable.
std::string DaclText(const std::string& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return "";
    char* text = nullptr;
    std::string out;
    if (::ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                               &text, nullptr))
        out = text;
    ::LocalFree(text);
    ::LocalFree(sd);
    return out;
}

}  // namespace

TEST_F(PrivateFolder, CreatedOnceAndOpenToNoOtherUsers) {
    std::string p = At("mine");
    ASSERT_TRUE(platform::CreatePrivateFolder(p.c_str()));
    EXPECT_FALSE(platform::CreatePrivateFolder(p.c_str())) << "an existing name is refused";
    WriteText(p + "\\f", "x");
    EXPECT_EQ(ReadText(p + "\\f"), "x") << "the owner can use it";
    std::string dacl = DaclText(p);
    ASSERT_FALSE(dacl.empty());
    for (const char* other : {";WD)", ";BU)", ";AU)", ";S-1-1-0)", ";S-1-5-32-545)", ";S-1-5-11)"})
        EXPECT_EQ(dacl.find(other), std::string::npos) << dacl;
}

#include <gtest/gtest.h>

#include <string>

#include "board/FormatBounded.h"
#include "sidefiles/Bounded.h"
#include "sidefiles/ResultCodes.h"

namespace {

// Both write the six characters "Ec1Bt2" into a field of the given capacity.
int32_t Copy(wchar_t* dest, size_t capacity) { return CopyBounded(dest, capacity, L"Ec1Bt2"); }
int32_t Format(wchar_t* dest, size_t capacity) { return FormatBounded(dest, capacity, L"Ec%dBt%d", 1, 2); }

}  // namespace

TEST(BoundedText, CutsToCapacityAndNeverWritesBeyondIt)
{
    struct Case {
        size_t capacity;
        int32_t result;
        const wchar_t* text;  // null: nothing may be written
    };
    const Case cases[] = {
        {16, kResultOk, L"Ec1Bt2"},
        {7, kResultOk, L"Ec1Bt2"},  // exact fit, the terminator in the last place
        {6, kResultInsufficientBuffer, L"Ec1Bt"},
        {1, kResultInsufficientBuffer, L""},
        {0, kResultInvalidArgument, nullptr},
        {size_t{2147483647u} + 1, kResultInvalidArgument, nullptr},
        {~size_t{0}, kResultInvalidArgument, nullptr},
    };
    for (auto* write : {&Copy, &Format}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << (write == &Copy ? "copy" : "format") << ", capacity " << c.capacity);
            wchar_t field[16];
            std::fill(std::begin(field), std::end(field), L'#');
            EXPECT_EQ(write(field, c.capacity), c.result);
            const size_t written = c.text ? c.capacity : 0;
            if (c.text)
                EXPECT_EQ(std::wstring(field), c.text);
            for (size_t i = written; i < 16; ++i)
                EXPECT_EQ(field[i], L'#') << "written at " << i;
        }
    }
}

#include "app/Dialogue.h"

#include <gtest/gtest.h>

using dialogue::Normalise;
using dialogue::Reply;

TEST(Dialogue, NormalisingDropsSpacesLowersLatinAndKeepsFourUnits) {
  EXPECT_EQ(Normalise(u"안 녕"), u"안녕");
  EXPECT_EQ(Normalise(u"   "), u"");
  EXPECT_EQ(Normalise(u"전투방식이란"), u"전투방식");
  EXPECT_EQ(Normalise(u"ABC dEf"), u"abcd");
  EXPECT_EQ(Normalise(u"ㄱㅏ"), u"ㄱㅏ"); // lone jamo survive the code page
  // Hangul outside the common set still round-trips; what the code page lacks becomes '?'.
  EXPECT_EQ(Normalise(u"똠방"), u"똠방");
  EXPECT_EQ(Normalise(u"\u00E9t\u00E9"), u"?t?");
}

TEST(Dialogue, DeflectionsFollowTheGeneratorFromSeedZero) {
  dialogue::ResetDeflections();
  std::vector<uint32_t> draws;
  for (int i = 0; i < 6; ++i)
    draws.push_back(dialogue::NextDeflection());
  EXPECT_EQ(draws, (std::vector<uint32_t>{0, 0, 2, 0, 0, 2}));

  dialogue::ResetDeflections();
  EXPECT_EQ(Reply(1, u"뭐야").lines.at(0), u"훔.. 무슨 말을 하시는건지...");
  EXPECT_EQ(Reply(2, u"키워드").lines.at(0), u"저에게 그런걸 물어 보셔도....");
  EXPECT_EQ(Reply(1, u"xyz").lines.at(0), u"못 알아 들었어요. 다시 한 번 말씀해 주실래요?");
}

TEST(Dialogue, KeywordsAnswerWithTheirLinesAndEmptyLinesSayGoodbye) {
  dialogue::ResetDeflections();
  auto first = Reply(1, u"안녕");
  ASSERT_EQ(first.lines.size(), 1u);
  EXPECT_EQ(first.lines[0], u"안녕하세요. {세나}에요. 저 아시죠?");
  EXPECT_EQ(Reply(1, u"세나").lines.size(), 3u);
  EXPECT_EQ(Reply(1, u"키워드").lines, Reply(1, u"단서").lines);
  auto fight = Reply(1, u"전투방식");
  ASSERT_EQ(fight.lines.size(), 4u);
  EXPECT_EQ(fight.lines[2], u"");
  EXPECT_EQ(fight.lines, Reply(1, u"전투").lines);
  EXPECT_EQ(Reply(2, u"조작법").lines.at(1).find(u"{단서}") != std::u16string::npos, true);

  auto bye1 = Reply(1, u"");
  EXPECT_TRUE(bye1.ends);
  EXPECT_EQ(bye1.lines.at(0), u"잘 가세요.");
  auto bye2 = Reply(2, u"");
  EXPECT_TRUE(bye2.ends);
  EXPECT_EQ(bye2.lines.at(0), u"다음에 봐요~");
  EXPECT_FALSE(Reply(2, u"안녕").ends);

  auto stranger = Reply(7, u"안녕");
  EXPECT_TRUE(stranger.unknownPartner);
  EXPECT_EQ(stranger.lines.at(0), u"이 메시지가 보이면 뭔가 문제가 있다는 것이지용...");
  // No keyword reply used a draw.
  EXPECT_EQ(dialogue::NextDeflection(), 0u);
}

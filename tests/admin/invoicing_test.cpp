// Invoice numbers, their questions and the stamping of time records and expenses.
#include "admin/invoicing.h"

#include "admin_fixture.h"
#include "core/text_helpers.h"

namespace tikora::admin::test {
namespace {

TEST(InvoiceNumberTest, TheSequenceIsTheWholeNumberAfterTheYear) {
  const DateTime in2024 = EncodeDate(2024, 3, 7);
  struct Case {
    const char* last;
    const char* next;
  };
  const Case cases[] = {
      {"", "2024000001"},           {"0000000000", "2024000001"}, {"2023000041", "2024000042"},
      {"2024009999", "2024010000"}, {"2024010000", "2024010001"}, {"2024123456", "2024123457"},
  };
  for (const auto& c : cases) EXPECT_EQ(ProposeInvoiceNumber(c.last, in2024), c.next) << c.last;
  for (const char* bad : {"2024ABC", "2024", "2024-00001"})
    EXPECT_THROW(ProposeInvoiceNumber(bad, in2024), ConversionError) << bad;
}

class InvoiceTest : public AdminTest {
 protected:
  void SetUp() override {
    AdminTest::SetUp();
    StartDataModule();
  }
  void Expense(const std::string& date, const std::string& account = "ACC") {
    engine::Table& t = dm_->tblExp();
    t.Append();
    t.SetFieldValue("Account", Value::Text(account));
    t.SetFieldValue("ExpenseDate", Value::Text(date));
    t.SetFieldValue("Amount", Value::Float(10));
    t.Post();
  }
  void Invoice(const std::string& number) {
    dm_->tblInvoices().Append();
    dm_->tblInvoices().SetFieldValue("Invoice", Value::Text(number));
    dm_->tblInvoices().Post();
  }
  std::int64_t Stamped(const std::string& table, const std::string& number) {
    return CountRows(data_, table, "[Invoice] = '" + number + "'");
  }
  ReportChoices March() {
    ReportChoices c;
    c.from = EncodeDate(2024, 3, 1);
    c.to = EncodeDate(2024, 3, 31);
    return c;
  }
  const DateTime today_ = EncodeDate(2024, 4, 2);
};

TEST_F(InvoiceTest, AnAcceptedProposalIsRecordedAndStampsThePeriod) {
  AddTime(dm_->tblHist(), "ann", "ACC", "2024-03-31 09:00:00", "2024-03-31 10:00:00");
  AddTime(dm_->tblHist(), "ann", "ACC", "2024-02-29 09:00:00", "2024-02-29 10:00:00");
  AddTime(dm_->tblHist(), "ann", "ACC", "2024-03-15 09:00:00");  // still running
  Expense("2024-03-31");
  Expense("2024-04-01");
  Expense("2024-03-01");
  prompter_.QueueInput("2024000001");
  InvoicePreparation p = PrepareInvoice(*dm_, *config_, March(), prompter_, today_);
  ASSERT_TRUE(p.accepted) << p.error;
  EXPECT_EQ(p.proposal, "2024000001");
  ASSERT_EQ(prompter_.InputRequests().size(), 1u);
  EXPECT_EQ(prompter_.InputRequests()[0].caption, "Accept Invoice");
  EXPECT_EQ(prompter_.InputRequests()[0].text, "Accept Invoice or enter new one");
  EXPECT_EQ(prompter_.InputRequests()[0].proposal, "2024000001");
  EXPECT_EQ(p.time_records, 1);
  EXPECT_EQ(p.expenses, 2);
  EXPECT_EQ(Stamped("TimeHist", "2024000001"), 1);
  EXPECT_EQ(Stamped("Expenses", "2024000001"), 2);
  EXPECT_EQ(CountRows(data_, "Expenses", "[ExpenseDate] = '2024-04-01' AND [Invoice] = NULL"), 1);
  EXPECT_EQ(CountRows(data_, "Invoices", "[Invoice] = '2024000001'"), 1);
  EXPECT_EQ(dm_->qryReport().Sql(), " WHERE Invoice = \"2024000001\"\n");
  EXPECT_EQ(dm_->qrySubReport().Sql(),
            " WHERE Invoice = \"2024000001\" AND [ExpenseDate] Between '2024-03-01' And "
            "'2024-03-31' ORDER BY Account, JobCode");
  EXPECT_EQ(config_->ReportFilter,
            "[Start Time] Between '2024-03-01' And '2024-04-01' And [End Time] <> Null");
}

TEST_F(InvoiceTest, AnEarlierYearContinuesAndAChangedNumberIsStampedButNotRecorded) {
  Invoice("2023000041");
  AddTime(dm_->tblHist(), "ann", "ACC", "2024-03-04 09:00:00", "2024-03-04 10:00:00");
  prompter_.QueueInput("MY-NUMBER");
  InvoicePreparation p = PrepareInvoice(*dm_, *config_, March(), prompter_, today_);
  ASSERT_TRUE(p.accepted);
  EXPECT_EQ(p.proposal, "2024000042");
  EXPECT_EQ(Stamped("TimeHist", "MY-NUMBER"), 1);
  EXPECT_EQ(CountRows(data_, "Invoices"), 2);
  EXPECT_EQ(CountRows(data_, "Invoices", "[Invoice] = 'MY-NUMBER'"), 0);
}

TEST_F(InvoiceTest, ANumberAlreadyOnTimeRecordsAsksFirst) {
  const std::int64_t old_id =
      AddTime(dm_->tblHist(), "ann", "ACC", "2024-01-04 09:00:00", "2024-01-04 10:00:00");
  dm_->tblHist().Locate("ID", {Value::Integer(old_id)});
  dm_->tblHist().Edit();
  dm_->tblHist().SetFieldValue("Invoice", Value::Text("2024000001"));
  dm_->tblHist().Post();
  AddTime(dm_->tblHist(), "ann", "ACC", "2024-03-04 09:00:00", "2024-03-04 10:00:00");

  prompter_.QueueAnswer(Answer::No);
  EXPECT_FALSE(PrepareInvoice(*dm_, *config_, March(), prompter_, today_).accepted);
  ASSERT_EQ(prompter_.Questions().size(), 1u);
  EXPECT_EQ(prompter_.Questions()[0].text, "This invoice has been printed before.  Continue?");
  EXPECT_EQ(Stamped("TimeHist", "2024000001"), 1);
  EXPECT_TRUE(prompter_.InputRequests().empty());

  prompter_.QueueAnswer(Answer::Yes);
  prompter_.QueueInput("2024000001");
  EXPECT_TRUE(PrepareInvoice(*dm_, *config_, March(), prompter_, today_).accepted);
  EXPECT_EQ(Stamped("TimeHist", "2024000001"), 2);
}

TEST_F(InvoiceTest, CancellingTheInputBoxStampsNothingButKeepsTheRecordedNumber) {
  AddTime(dm_->tblHist(), "ann", "ACC", "2024-03-04 09:00:00", "2024-03-04 10:00:00");
  prompter_.QueueInput(std::nullopt);
  InvoicePreparation p = PrepareInvoice(*dm_, *config_, March(), prompter_, today_);
  EXPECT_FALSE(p.accepted);
  EXPECT_EQ(Stamped("TimeHist", "2024000001"), 0);
  EXPECT_EQ(CountRows(data_, "Invoices", "[Invoice] = '2024000001'"), 1);
}

TEST_F(InvoiceTest, ChoicesNarrowTheStampingAndAreQuoted) {
  AddTime(dm_->tblHist(), "ann", "A\"1", "2024-03-04 09:00:00", "2024-03-04 10:00:00");
  AddTime(dm_->tblHist(), "ann", "OTHER", "2024-03-04 11:00:00", "2024-03-04 12:00:00");
  Expense("2024-03-04", "A\"1");
  Expense("2024-03-04", "OTHER");
  ReportChoices c = March();
  c.account = "A\"1";
  prompter_.QueueInput("2024000001");
  InvoicePreparation p = PrepareInvoice(*dm_, *config_, c, prompter_, today_);
  ASSERT_TRUE(p.accepted) << p.error;
  EXPECT_EQ(p.time_records, 1);
  EXPECT_EQ(p.expenses, 1);
}

TEST_F(InvoiceTest, AnUnreadableLastNumberStopsWithItsMessage) {
  Invoice("ZZZZ-1");
  InvoicePreparation p = PrepareInvoice(*dm_, *config_, March(), prompter_, today_);
  EXPECT_FALSE(p.accepted);
  ASSERT_EQ(prompter_.Messages().size(), 1u);
  EXPECT_NE(prompter_.Messages()[0].text.find("-1"), std::string::npos);
  EXPECT_EQ(CountRows(data_, "Invoices"), 1);
}

}  // namespace
}  // namespace tikora::admin::test

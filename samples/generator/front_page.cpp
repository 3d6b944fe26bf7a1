// The front page (A1) of the sample issue: masthead, date and issue lines, a lead story with
// a picture, a contents box, two more stories with pictures, news in brief and a public
// notice.
#include <algorithm>

#include "pictures.h"
#include "sample_pages.h"

namespace samples {
namespace {

constexpr Grid kGrid{6, 142.5, 11.4};

const Rgb kBoxTint{0.96, 0.94, 0.89};

}  // namespace

SamplePage BuildFrontPage() {
  SamplePage sample = NewSample("front-page", kGrid.columns);
  vtest::PdfWriter writer;
  const PageFonts fonts = AddPageFonts(writer);
  const std::string plantPhoto = writer.AddImage(HeatingPlantPhoto(296, 190));
  const std::string truckPhoto = writer.AddImage(TruckLinePhoto(143, 100));
  const std::string paperCutPhoto = writer.AddImage(PaperCutPhoto(296, 170));
  const std::string code = writer.AddImage(ReaderCode(25, 2));
  const std::string lightPhoto = writer.AddImage(LightShowPhoto(296, 170));
  NewsPage page = NewPage(fonts);
  vtest::PageTruth& truth = sample.truth;

  // ---- Top strip, masthead and issue information. ----
  TextStyle idStyle{20, 0, false, kBlack, true};
  truth.pageId = SetText(page, kMarginLeft, 46, u"A1", idStyle);
  TextStyle small{9, 0, false, kGreyText};
  truth.otherTexts.push_back(SetText(page, 480, 44, u"滨江日报社出版　　新闻热线：96111", small));
  page.Rule(kMarginLeft, 56, kMarginRight, 56, 0.5, kRule);

  TextStyle masthead{84, 40, true, kMastheadRed};
  truth.otherTexts.push_back(SetText(page, kMarginLeft, 140, u"滨江日报", masthead));
  TextStyle latinSmall{9, 280, false, kMastheadRed};
  truth.otherTexts.push_back(SetText(page, kMarginLeft + 4, 158, u"BINJIANG DAILY", latinSmall));

  const double infoX = 430;
  truth.issueDate = SetText(page, infoX, 86, kIssueDate, TextStyle{13});
  truth.lunarDate = SetText(page, infoX, 106, kLunarDate, TextStyle{11});
  truth.pageCount = SetText(page, infoX, 126, kPageCount, TextStyle{11});
  truth.issueNumber = SetText(page, infoX + 90, 126, kIssueNumber, TextStyle{11});
  // The registration numbers run under the masthead, apart from the date column.
  truth.otherTexts.push_back(
      SetText(page, 200, 158, u"国内统一连续出版物号 CN 33-0018　邮发代号 31-1", TextStyle{9}));

  // Reader code with its label.
  page.Picture(code, 690, 72, 744, 126);
  truth.pictures.push_back({"bilevel", {690, 72, 744, 126}, "", {}});
  truth.otherTexts.push_back(SetTextCentered(page, 717, 140, u"扫码看滨江", TextStyle{8}));

  // Weather box.
  page.StrokeBox(790, 68, kMarginRight, 160, 0.8, kRule);
  page.FillBox(790, 68, kMarginRight, 88, kBarRed);
  truth.otherTexts.push_back(
      SetTextCentered(page, 871, 82, u"滨江天气", TextStyle{11, 100, true, kWhite}));
  truth.otherTexts.push_back(SetTextCentered(page, 871, 108, u"晴转多云", TextStyle{13}));
  truth.otherTexts.push_back(SetTextCentered(page, 871, 130, u"3℃～12℃", TextStyle{13}));
  truth.otherTexts.push_back(SetTextCentered(page, 871, 150, u"东北风3级", TextStyle{9}));

  page.Rule(kMarginLeft, 168, kMarginRight, 168, 2.5, kRule);
  page.Rule(kMarginLeft, 172.5, kMarginRight, 172.5, 0.6, kRule);

  // ---- Lead story over columns 1-4. ----
  double row1Bottom = 0;
  {
    vtest::TruthArticle a;
    a.id = "lead";
    SetHeadsCentered(page, a, kGrid.Centre(0, 4),
                     {u"供热管网改造提前完工　城乡清洁取暖全面铺开", 202, TextStyle{15}},
                     {u"全市百万户居民温暖过冬", 250, TextStyle{38, 60, true}},
                     {u"新增供热面积860万平方米　农村清洁取暖覆盖率达92%", 280, TextStyle{14}});
    const double bodyTop = 296;
    // Picture over columns 3-4 with its caption.
    const double px0 = kGrid.ColX(2), px1 = kGrid.ColX(2) + kGrid.SpanWidth(2), py1 = bodyTop + 190;
    page.Picture(plantPhoto, px0, bodyTop, px1, py1);
    const std::u16string captionText =
        u"12月6日，城东热源厂工作人员在中控室监测机组运行情况。　本报记者 周宁 摄";
    const auto caption = page.Wrap({captionText}, kGrid.SpanWidth(2), 9, false);
    const FlowResult cap =
        page.Flow(caption, {{px0, py1 + 6, kGrid.SpanWidth(2), 3}}, 9, 12.5, LineMode::kTmPerLine);
    CheckFlow(sample, cap, "lead caption");
    a.pictures.push_back({"rgb", {px0, bodyTop, px1, py1}, Utf8(captionText), cap.columns.at(0)});

    const std::vector<std::u16string> body = {
        u"本报讯（记者 林晓 通讯员 张宏）12月6日零时，随着城东热源厂最后一台机组点火运行，"
        u"我市2026—2027年度采暖季全面进入正式供热阶段。记者从市住房和城乡建设局获悉，"
        u"今年全市供热总面积达到1.36亿平方米，较去年增加860万平方米，覆盖城区及周边乡镇"
        u"居民约104万户。",
        u"为确保群众温暖过冬，今年4月以来，市住建部门会同各供热企业对城区老旧管网实施集中"
        u"改造，共更新改造一、二级管网118公里，改造老旧小区庭院管网及换热站63座。“以前一到"
        u"冬天，家里暖气时冷时热，今年换了新管子，屋里温度一直稳定在20摄氏度以上。”家住"
        u"江北区临河小区的王阿姨告诉记者。",
        u"在农村地区，我市持续推进清洁取暖改造，今年新完成“煤改电”“煤改气”改造1.8万户，"
        u"全市农村清洁取暖覆盖率达到92%。市住建局相关负责人介绍，各县区已建立供热运行日"
        u"报告制度，对困难群众、独居老人等重点人群开展入户走访，及时解决室温不达标等问题。",
        u"据了解，今年我市还上线了“智慧供热”服务平台，居民可通过手机查询缴费信息、报修"
        u"故障，平台将根据室外气温变化自动调节供水温度。截至目前，平台已接到报修诉求2300"
        u"余件，办结率达98.5%。",
        u"据介绍，今年我市还首次对供热企业实施“室温考核”，将居民室温达标率、投诉处置"
        u"满意度等指标纳入年度考核，考核结果与财政补贴挂钩，倒逼企业提升服务质量。",
    };
    const double lowerTop = cap.bottom + 10;
    const FlowResult flow =
        page.FlowFit(page.Wrap(body, kGrid.columnWidth, kBodySize),
                     {{kGrid.ColX(0), bodyTop},
                      {kGrid.ColX(1), bodyTop},
                      {kGrid.ColX(2), lowerTop},
                      {kGrid.ColX(3), lowerTop}},
                     kGrid.columnWidth, kBodySize, kLeading, LineMode::kChainedTd);
    CheckFlow(sample, flow, "lead body");
    SetBody(a, flow);
    // Jump line under the last column.
    const vtest::TruthBox jump =
        page.LineRight(kGrid.ColX(3) + kGrid.columnWidth, flow.bottom + kLeading, u"（下转A3版）",
                       TextStyle{kBodySize});
    a.jumpLine = "（下转A3版）";
    a.columns.back() = Union(a.columns.back(), jump);
    truth.articles.push_back(a);
    row1Bottom = std::max(flow.bottom, jump.bottom);
  }

  // ---- Contents box over columns 5-6. ----
  {
    const double x0 = kGrid.ColX(4), x1 = kMarginRight, y0 = 184, y1 = row1Bottom;
    page.FillBox(x0, y0, x1, y1, kBoxTint);
    page.StrokeBox(x0, y0, x1, y1, 0.8, kRule);
    page.FillBox(x0, y0, x1, y0 + 28, kBarRed);
    truth.otherTexts.push_back(
        SetTextCentered(page, (x0 + x1) / 2, y0 + 20, u"导　读", TextStyle{16, 200, true, kWhite}));
    struct Entry {
      const char16_t* page;
      const char16_t* title;
      const char16_t* summary;
    };
    const Entry entries[] = {
        {u"A3", u"市政府常务会议部署冬季安全生产工作",
         u"开展为期两个月的隐患排查整治行动，确保群众平安过冬"},
        {u"A5", u"前11个月我市外贸进出口增长8.6%", u"机电产品出口占比过半，“新三样”出口增长三成"},
        {u"A7", u"江北区新增12处社区食堂", u"老年人就餐可享补贴，配送服务覆盖周边小区"},
        {u"A9", u"滨江号子唱响校园", u"非遗传承人进课堂，百所学校开设特色课程"},
        {u"A12", u"滨江队主场两连胜升至第三", u"下轮客场挑战领头羊，主帅称全力争胜"},
        {u"A14", u"冬季进补有讲究", u"专家提醒：进补因人而异，切忌盲目跟风"},
        {u"A15", u"11月新房成交面积环比增长12%", u"改善型需求释放，多个新盘开盘去化率超七成"},
        {u"A16", u"江畔听雪", u"初冬的江边，雪落无声，渔火点点"},
    };
    double y = y0 + 52;
    for (const Entry& e : entries) {
      const vtest::TruthBox code =
          page.Line(x0 + 10, y, e.page, TextStyle{11, 0, false, kBarRed, true});
      const vtest::TruthText title = SetText(page, x0 + 42, y, e.title, TextStyle{11.5});
      const auto summary = page.Wrap({e.summary}, x1 - x0 - 52, 9, false);
      const FlowResult s =
          page.Flow(summary, {{x0 + 42, y + 8, x1 - x0 - 52, 3}}, 9, 13, LineMode::kTmPerLine);
      CheckFlow(sample, s, "contents summary");
      truth.otherTexts.push_back({Utf8(e.page), code});
      truth.otherTexts.push_back(title);
      y = s.bottom + 26;
      if (&e != &entries[std::size(entries) - 1])
        page.Rule(x0 + 10, y - 14, x1 - 10, y - 14, 0.3, kGreyText);
    }
  }

  const double row2 = row1Bottom + 12;
  page.Rule(kMarginLeft, row2, kMarginRight, row2, 0.8, kRule);
  double row2Bottom = 0;

  // ---- Hydrogen lorries, columns 1-3; its headline ends in the custom-encoded font. ----
  {
    vtest::TruthArticle a;
    a.id = "trucks";
    const double x = kGrid.ColX(0);
    a.kicker = SetText(page, x, row2 + 26, u"滨江经济开发区新能源产业链加速成形", TextStyle{13});
    const TextStyle headStyle{30, 0, true};
    const std::u16string songPart = u"首批国产氢能重卡批量";
    const vtest::TruthBox songBox = page.Line(x, row2 + 66, songPart, headStyle);
    const std::string codes = "\xF6\xA7";  // 出 (B3F6) and 厂 (B3A7) of the glyph font
    const vtest::TruthBox t3Box = page.Type3Run(songBox.right, row2 + 66, codes, 30);
    a.headline = {"首批国产氢能重卡批量出厂", Union(songBox, t3Box)};
    truth.customRuns.push_back({kType3Font, "出厂", "F6A7", t3Box});
    a.subtitle =
        SetText(page, x, row2 + 92, u"年产能5000辆　核心部件本地配套率超六成", TextStyle{13});
    const double bodyTop = row2 + 106;
    const std::vector<std::u16string> body = {
        u"本报讯（记者 陈思远）12月5日上午，滨江经济开发区氢能重卡生产基地举行首批产品"
        u"交付仪式，50辆49吨级氢燃料电池重型卡车驶下生产线，将交付省内物流企业投入港口"
        u"集疏运。这标志着我市新能源汽车产业实现从零部件配套到整车制造的跨越。",
        u"该基地总投资32亿元，去年3月开工建设，一期工程设计年产能5000辆。项目负责人介绍，"
        u"车辆搭载自主研发的120千瓦燃料电池系统，满载续航里程超过400公里，加氢时间约15"
        u"分钟，可在零下30摄氏度环境下正常启动。",
        u"“从电堆、储氢瓶到整车控制器，目前已有17家配套企业在开发区落户，核心部件本地"
        u"配套率达到63%。”开发区管委会负责人表示，下一步将加快建设加氢站网络，计划到"
        u"2027年底在全市建成加氢站12座，推动氢能重卡在港口、矿山、城际物流等场景规模化"
        u"应用。",
    };
    const double px0 = kGrid.ColX(2), px1 = px0 + kGrid.columnWidth, py1 = bodyTop + 100;
    page.Picture(truckPhoto, px0, bodyTop, px1, py1);
    const std::u16string caption = u"首批氢能重卡驶下生产线。　本报记者 陈曦 摄";
    const FlowResult cap =
        page.Flow(page.Wrap({caption}, kGrid.columnWidth, 9, false),
                  {{px0, py1 + 6, kGrid.columnWidth, 4}}, 9, 12.5, LineMode::kTmPerLine);
    CheckFlow(sample, cap, "trucks caption");
    a.pictures.push_back({"rgb", {px0, bodyTop, px1, py1}, Utf8(caption), cap.columns.at(0)});
    const FlowResult flow = page.FlowFit(
        page.Wrap(body, kGrid.columnWidth, kBodySize),
        {{kGrid.ColX(0), bodyTop}, {kGrid.ColX(1), bodyTop}, {kGrid.ColX(2), cap.bottom + 10}},
        kGrid.columnWidth, kBodySize, kLeading, LineMode::kTmPerLine);
    CheckFlow(sample, flow, "trucks body");
    SetBody(a, flow);
    row2Bottom = std::max(row2Bottom, flow.bottom);
    truth.articles.push_back(a);
  }

  // ---- Intangible heritage in schools, columns 4-6. ----
  {
    vtest::TruthArticle a;
    a.id = "heritage";
    SetHeadsCentered(page, a, kGrid.Centre(3, 3),
                     {u"课后服务提质扩面　传统文化浸润校园", row2 + 26, TextStyle{13}},
                     {u"非遗课程走进百所中小学", row2 + 66, TextStyle{30, 40, true}},
                     {u"剪纸、竹编、滨江号子等二十余个项目进课堂", row2 + 92, TextStyle{13}});
    const double bodyTop = row2 + 106;
    const double px0 = kGrid.ColX(4), px1 = kMarginRight, py1 = bodyTop + 170;
    page.Picture(paperCutPhoto, px0, bodyTop, px1, py1);
    const std::u16string caption =
        u"江南区实验小学学生在课后服务课堂上学习剪纸技艺。　本报记者 周宁 摄";
    const FlowResult cap = page.Flow(page.Wrap({caption}, px1 - px0, 9, false),
                                     {{px0, py1 + 6, px1 - px0, 3}}, 9, 12.5, LineMode::kTmPerLine);
    CheckFlow(sample, cap, "heritage caption");
    a.pictures.push_back({"gray", {px0, bodyTop, px1, py1}, Utf8(caption), cap.columns.at(0)});
    const std::vector<std::u16string> body = {
        u"本报讯（记者 周敏）剪一幅窗花、编一只竹篮、唱一段号子……本学期以来，我市104所"
        u"中小学将非物质文化遗产项目引入课后服务，开设非遗课程320余门，惠及学生4.6万人次。",
        u"在江南区实验小学的剪纸教室里，市级非遗传承人刘桂芳正手把手教孩子们剪“福”字。"
        u"“一开始连剪刀都拿不稳，现在我已经能剪出完整的团花了。”四年级学生李可欣举着自己"
        u"的作品说。",
        u"市教育局有关负责人介绍，全市已建立非遗传承人进校园师资库，入库传承人86名，并"
        u"编写了《滨江非遗》系列校本教材。明年起，我市将把非遗课程纳入课后服务评价体系，"
        u"力争实现义务教育阶段学校全覆盖。",
        u"“非遗进校园不是简单的兴趣课，而是让孩子们在动手实践中感受传统文化的魅力。”江南区"
        u"实验小学校长陈静表示，学校还将组织学生走进非遗工坊开展研学活动，让课堂延伸到"
        u"生活中。",
    };
    const double lowerTop = cap.bottom + 10;
    const FlowResult flow = page.FlowFit(
        page.Wrap(body, kGrid.columnWidth, kBodySize),
        {{kGrid.ColX(3), bodyTop}, {kGrid.ColX(4), lowerTop}, {kGrid.ColX(5), lowerTop}},
        kGrid.columnWidth, kBodySize, kLeading, LineMode::kChainedTd);
    CheckFlow(sample, flow, "heritage body");
    SetBody(a, flow);
    truth.articles.push_back(a);
    row2Bottom = std::max(row2Bottom, flow.bottom);
  }

  // Column rules between the stories of the middle row.
  page.Rule(kGrid.ColX(3) - kGrid.gutter / 2, row2 + 12, kGrid.ColX(3) - kGrid.gutter / 2,
            row2Bottom, 0.5, kRule);
  page.Rule(kGrid.ColX(4) - kGrid.gutter / 2, 184, kGrid.ColX(4) - kGrid.gutter / 2, row1Bottom,
            0.5, kRule);
  const double row3 = row2Bottom + 12;
  page.Rule(kMarginLeft, row3, kMarginRight, row3, 0.8, kRule);

  // ---- News in brief, columns 1-2. ----
  {
    vtest::TruthArticle a;
    a.id = "briefs";
    page.FillBox(kGrid.ColX(0), row3 + 12, kGrid.ColX(0) + 84, row3 + 36, kBarRed);
    a.headline =
        SetText(page, kGrid.ColX(0) + 8, row3 + 30, u"本市简讯", TextStyle{16, 100, true, kWhite});
    page.Rule(kGrid.ColX(0) + 84, row3 + 36, kGrid.ColX(0) + kGrid.SpanWidth(2), row3 + 36, 1,
              kBarRed);
    const std::vector<std::u16string> body = {
        u"【滨江至临港城际铁路全线铺通】12月4日，滨江至临港城际铁路完成全线铺轨，线路全长"
        u"68公里，设站9座，计划明年6月开通运营，届时两地通行时间将缩短至30分钟以内。",
        u"【我市新增3家专精特新“小巨人”企业】工业和信息化部近日公布新一批专精特新"
        u"“小巨人”企业名单，我市3家企业入选，总数达到41家，主要分布在高端装备和新材料领域。",
        u"【滨江籍运动员获全国冠军】在日前结束的全国游泳冠军赛上，我市运动员林一帆以1分"
        u"56秒32的成绩获得男子200米自由泳冠军，这是我市选手首次在该项目上夺冠。",
        u"【市区新增公共充电桩800个】今年以来，我市在商圈、医院和居民小区周边新建公共充电桩"
        u"800个，车主可通过“滨江停车”应用查询空闲桩位并预约充电。",
        u"【全市开展冬季献血活动】市中心血站提醒，冬季是临床用血高峰期，12月至明年1月将在"
        u"各区设立流动献血点20个，欢迎符合条件的市民参与献血。",
    };
    SetBalancedBody(sample, page, a, body, kGrid, 0, 2, row3 + 48, LineMode::kTmPerLine,
                    "briefs body");
    truth.articles.push_back(a);
  }

  // ---- Picture story, columns 3-4: the picture fills the row. ----
  {
    vtest::TruthArticle a;
    a.id = "light-show";
    const double x0 = kGrid.ColX(2), x1 = kGrid.ColX(2) + kGrid.SpanWidth(2);
    a.headline = SetTextCentered(page, (x0 + x1) / 2, row3 + 34, u"光影滨江点亮冬夜",
                                 TextStyle{20, 60, true});
    const std::u16string caption =
        u"12月6日晚，以“光影滨江”为主题的冬季灯光秀在江滨公园开幕，两岸建筑灯光与江面倒影"
        u"交相辉映。灯光秀将持续至明年2月底，每晚6时至10时向市民免费开放。　本报记者 陈曦 摄";
    const auto capLines = page.Wrap({caption}, x1 - x0, 9, false);
    const double py0 = row3 + 48, py1 = 1352 - 6 - 12.5 * static_cast<double>(capLines.size());
    page.Picture(lightPhoto, x0, py0, x1, py1);
    const FlowResult cap =
        page.Flow(capLines, {{x0, py1 + 6, x1 - x0, 4}}, 9, 12.5, LineMode::kTmPerLine);
    CheckFlow(sample, cap, "light show caption");
    a.pictures.push_back({"rgb", {x0, py0, x1, py1}, Utf8(caption), cap.columns.at(0)});
    truth.articles.push_back(a);
  }
  page.Rule(kGrid.ColX(2) - kGrid.gutter / 2, row3 + 12, kGrid.ColX(2) - kGrid.gutter / 2, 1352,
            0.5, kRule);

  // ---- Public notice box, columns 5-6. ----
  {
    const double x0 = kGrid.ColX(4), x1 = kMarginRight, y0 = row3 + 12, y1 = 1352;
    page.FillBox(x0, y0, x1, y1, Rgb{0.86, 0.2, 0.18});
    page.FillBox(x0 + 8, y0 + 8, x1 - 8, y1 - 8, kBoxTint);
    const double c = (x0 + x1) / 2;
    truth.otherTexts.push_back(
        SetTextCentered(page, c, y0 + 34, u"公益广告", TextStyle{12, 300, false, kBarRed}));
    truth.otherTexts.push_back(
        SetTextCentered(page, c, y0 + 96, u"文明滨江", TextStyle{40, 80, true, kBarRed}));
    truth.otherTexts.push_back(
        SetTextCentered(page, c, y0 + 150, u"你我共建", TextStyle{40, 80, true, kBarRed}));
    const char16_t* slogans[] = {u"礼让斑马线　文明出行", u"垃圾分一分　环境美十分",
                                 u"邻里互帮助　温暖一座城"};
    double y = y0 + 200;
    for (const char16_t* s : slogans) {
      truth.otherTexts.push_back(SetTextCentered(page, c, y, s, TextStyle{13}));
      y += 26;
    }
    truth.otherTexts.push_back(
        SetTextCentered(page, c, y1 - 20, u"滨江市精神文明建设委员会办公室", TextStyle{9}));
  }

  // ---- Footer. ----
  page.Rule(kMarginLeft, 1366, kMarginRight, 1366, 0.5, kRule);
  truth.otherTexts.push_back(SetTextCentered(
      page, kPageWidth / 2, 1384,
      u"本报地址：滨江市江滨路88号　邮政编码：318000　新闻热线：96111　广告热线：88861234"
      u"　零售价：1.50元",
      TextStyle{8, 0, false, kGreyText}));

  FinishSample(sample, writer, page);
  return sample;
}

}  // namespace samples

// An inner page (A3, news) of the sample issue: page header with page id, page name and
// date, a lead story with a picture, a trade story, the continuation of the front page's
// lead, a commentary box, a picture story, a community story and a subscription notice.
#include "pictures.h"
#include "sample_pages.h"

namespace samples {
namespace {

constexpr Grid kGrid{5, 171, 14.25};

const Rgb kBoxTint{0.95, 0.95, 0.93};

}  // namespace

SamplePage BuildInnerPage() {
  SamplePage sample = NewSample("inner-page", kGrid.columns);
  vtest::PdfWriter writer;
  const PageFonts fonts = AddPageFonts(writer);
  const std::string firePhoto = writer.AddImage(FireCheckPhoto(356, 236));
  const std::string snowPhoto = writer.AddImage(SnowRiverPhoto(541, 300));
  NewsPage page = NewPage(fonts);
  vtest::PageTruth& truth = sample.truth;

  // ---- Page header. ----
  page.FillBox(kMarginLeft, 28, kMarginLeft + 46, 66, kBarRed);
  truth.pageId =
      SetTextCentered(page, kMarginLeft + 23, 56, u"A3", TextStyle{24, 0, false, kWhite, true});
  truth.pageName = SetText(page, kMarginLeft + 80, 58, u"要闻", TextStyle{26, 100, true});
  truth.otherTexts.push_back(SetTextCentered(page, kPageWidth / 2, 50, u"滨江日报",
                                             TextStyle{14, 100, true, kMastheadRed}));
  truth.otherTexts.push_back(SetTextCentered(page, kPageWidth / 2, 62, u"BINJIANG DAILY",
                                             TextStyle{6.5, 250, false, kMastheadRed}));
  truth.issueDate = SetTextRight(page, kMarginRight, 46, kIssueDate, TextStyle{10.5});
  truth.otherTexts.push_back(SetTextRight(page, kMarginRight, 62,
                                          u"责任编辑：陈思远　美术编辑：李楠　校对：王蕾",
                                          TextStyle{9, 0, false, kGreyText}));
  page.Rule(kMarginLeft, 74, kMarginRight, 74, 2, kBarRed);
  page.Rule(kMarginLeft, 77.5, kMarginRight, 77.5, 0.5, kBarRed);

  // ---- Lead story, columns 1-3, and its picture in columns 4-5. ----
  double rowBottom = 0;
  {
    vtest::TruthArticle a;
    a.id = "safety";
    SetHeadsCentered(page, a, kGrid.Centre(0, 3),
                     {u"守牢安全底线　护航岁末年初", 108, TextStyle{14}},
                     {u"市政府常务会议部署冬季安全生产工作", 146, TextStyle{28, 20, true}},
                     {u"压实各方责任　深入排查隐患　确保群众平安过冬", 172, TextStyle{14}});
    const std::vector<std::u16string> body = {
        u"本报讯（记者 王蕾）12月6日，市长赵立军主持召开市政府常务会议，分析当前安全生产"
        u"形势，研究部署冬季安全生产和岁末年初各项工作。",
        u"会议指出，冬季是火灾、燃气事故和道路交通事故的易发多发期，各地各部门要清醒认识"
        u"安全生产工作的长期性、复杂性，坚决克服麻痹思想和侥幸心理，以更严要求、更实举措"
        u"抓好各项防范工作。",
        u"会议要求，要聚焦燃气、消防、交通运输、建筑施工、危险化学品等重点行业领域，组织"
        u"开展为期两个月的隐患排查整治行动，对发现的问题建立台账、限期整改、逐项销号。要"
        u"加强城镇燃气管道老化更新改造，督促餐饮场所全面安装燃气泄漏报警装置。要做好雨雪"
        u"冰冻天气应对准备，加强道路除雪保畅，确保群众出行安全。",
        u"会议强调，要统筹做好保供稳价、困难群众帮扶和欠薪治理等工作，加强煤电油气运调度，"
        u"保障蔬菜、肉蛋奶等生活必需品市场供应。各级领导干部要带头深入一线，严格落实值班"
        u"值守制度，遇到突发情况及时处置、及时报告。",
        u"会议还研究了其他事项。",
    };
    const FlowResult flow = SetBalancedBody(sample, page, a, body, kGrid, 0, 3, 186,
                                            LineMode::kChainedTd, "safety body");

    const double px0 = kGrid.ColX(3), px1 = kMarginRight, py0 = 92;
    const std::u16string caption =
        u"12月5日，消防救援人员在江北区一处商业综合体开展消防安全检查。　本报记者 陈曦 摄";
    const auto capLines = page.Wrap({caption}, px1 - px0, 9, false);
    const double py1 = flow.bottom - 6 - 12.5 * static_cast<double>(capLines.size());
    page.Picture(firePhoto, px0, py0, px1, py1);
    const FlowResult cap =
        page.Flow(capLines, {{px0, py1 + 6, px1 - px0, 3}}, 9, 12.5, LineMode::kTmPerLine);
    CheckFlow(sample, cap, "safety caption");
    a.pictures.push_back({"rgb", {px0, py0, px1, py1}, Utf8(caption), cap.columns.at(0)});
    truth.articles.push_back(a);
    rowBottom = std::max(flow.bottom, cap.bottom);
  }
  page.Rule(kGrid.ColX(3) - kGrid.gutter / 2, 90, kGrid.ColX(3) - kGrid.gutter / 2, rowBottom, 0.5,
            kRule);
  const double row2 = rowBottom + 12;
  page.Rule(kMarginLeft, row2, kMarginRight, row2, 0.8, kRule);

  // ---- Foreign trade, columns 1-2. ----
  double row2Bottom = 0;
  {
    vtest::TruthArticle a;
    a.id = "trade";
    SetHeadsCentered(
        page, a, kGrid.Centre(0, 2), {u"外贸运行稳中向好", row2 + 24, TextStyle{13}},
        {u"前11个月外贸进出口增长8.6%", row2 + 56, TextStyle{22, 0, true, kBlack, true}},
        {u"机电产品出口占比过半　“新三样”出口增长31.5%", row2 + 80, TextStyle{12}});
    const std::vector<std::u16string> body = {
        u"本报讯（记者 孙立 通讯员 何佳）记者从滨江海关获悉，今年前11个月，我市外贸进出口"
        u"总值2846.7亿元，同比增长8.6%，增速高于全省平均水平2.1个百分点。其中，出口1935.2"
        u"亿元，增长10.4%；进口911.5亿元，增长4.9%。",
        u"从产品结构看，机电产品出口1021.6亿元，增长13.7%，占出口总值的52.8%。其中，电动"
        u"汽车、锂电池和光伏产品“新三样”合计出口增长31.5%，成为拉动出口增长的重要力量。",
        u"从贸易伙伴看，东盟继续保持我市第一大贸易伙伴地位。同期，我市对共建“一带一路”"
        u"国家进出口1462.3亿元，增长12.3%，占全市外贸总值的51.4%。滨江海关相关负责人"
        u"表示，将持续优化通关流程，助力外贸企业稳订单、拓市场。",
    };
    const FlowResult flow = SetBalancedBody(sample, page, a, body, kGrid, 0, 2, row2 + 94,
                                            LineMode::kTmPerLine, "trade body");
    truth.articles.push_back(a);
    row2Bottom = flow.bottom;
  }

  // ---- Continuation of the front page's lead, columns 3-4. ----
  {
    vtest::TruthArticle a;
    a.id = "lead-continued";
    const double c = kGrid.Centre(2, 2);
    a.headline =
        SetTextCentered(page, c, row2 + 40, u"全市百万户居民温暖过冬", TextStyle{20, 40, true});
    const std::vector<std::u16string> body = {
        u"记者在市供热服务中心看到，大屏幕上实时显示着全市各换热站的运行数据。工作人员"
        u"介绍，今年新增的1200个室温监测点分布在不同年代建成的小区，一旦发现室温低于18"
        u"摄氏度，系统会自动生成工单派发给属地供热企业。",
        u"针对部分老旧小区楼体保温差、末端管网水力失衡等问题，市住建局已组织专业技术团队"
        u"逐户排查，对排查出的132栋楼宇制定“一楼一策”整改方案，力争在元旦前全部完成整改。",
        u"市住建局提醒，供热期间居民如遇暖气不热、管道漏水等问题，可拨打供热服务热线"
        u"96069或通过“智慧供热”平台反映，供热企业承诺接到报修后1小时内上门处置。",
    };
    // The jump line opens the first column.
    const vtest::TruthBox jump = page.Line(kGrid.ColX(2), row2 + 60 + 0.88 * kBodySize,
                                           u"（上接A1版）", TextStyle{kBodySize});
    a.jumpLine = "（上接A1版）";
    const FlowResult flow =
        SetBalancedBody(sample, page, a, body, kGrid, 2, 2, row2 + 60 + kLeading,
                        LineMode::kChainedTd, "continuation body");
    a.columns.front() = Union(jump, a.columns.front());
    truth.articles.push_back(a);
    row2Bottom = std::max(row2Bottom, flow.bottom);
  }

  // ---- Commentary box, column 5. ----
  {
    vtest::TruthArticle a;
    a.id = "commentary";
    const double x0 = kGrid.ColX(4), x1 = kMarginRight, y0 = row2 + 12;
    page.FillBox(x0, y0, x1, y0 + 26, kBarRed);
    a.kicker = SetText(page, x0 + 8, y0 + 19, u"短评", TextStyle{14, 200, true, kWhite});
    a.headline = SetTextCentered(page, (x0 + x1) / 2, y0 + 52, u"让安全意识入脑入心",
                                 TextStyle{16, 0, true});
    const std::vector<std::u16string> body = {
        u"安全生产没有局外人。冬季气候干燥，用火用电用气增多，一个烟头、一处老化线路都"
        u"可能酿成大祸。",
        u"隐患险于明火，防范胜于救灾。不少事故的发生，并非无章可循，而是有章不循；并非"
        u"没有预警，而是心存侥幸。把安全生产的责任链条拧紧，把排查整治的每个环节做实，"
        u"才能把风险化解在萌芽状态。",
        u"企业要把主体责任扛在肩上，隐患排查不走过场；职能部门要敢于较真碰硬，对违法违规"
        u"行为零容忍；市民也要从身边做起，不私拉电线、不堵塞消防通道。人人讲安全，个个"
        u"会应急，平安才有坚实基础。",
    };
    const double inner = x1 - x0 - 16;
    const FlowResult flow = page.Flow(page.Wrap(body, inner, 9.5), {{x0 + 8, y0 + 66, inner, 60}},
                                      9.5, 14.5, LineMode::kTmPerLine);
    CheckFlow(sample, flow, "commentary body");
    SetBody(a, flow);
    const vtest::TruthBox sign =
        page.LineRight(x1 - 8, flow.bottom + 16, u"（江　岸）", TextStyle{9.5});
    a.columns.back() = Union(a.columns.back(), sign);
    page.StrokeBox(x0, y0, x1, sign.bottom + 8, 0.8, kBarRed);
    truth.articles.push_back(a);
    row2Bottom = std::max(row2Bottom, sign.bottom + 8);
  }
  page.Rule(kGrid.ColX(2) - kGrid.gutter / 2, row2 + 12, kGrid.ColX(2) - kGrid.gutter / 2,
            row2Bottom, 0.5, kRule);
  const double row3 = row2Bottom + 12;
  page.Rule(kMarginLeft, row3, kMarginRight, row3, 0.8, kRule);

  // ---- Winter roads, columns 1-3. ----
  double row3Bottom = 0;
  {
    vtest::TruthArticle a;
    a.id = "roads";
    SetHeadsCentered(page, a, kGrid.Centre(0, 3), {u"应对雨雪冰冻天气", row3 + 24, TextStyle{12}},
                     {u"全市备足融雪剂1.2万吨", row3 + 58, TextStyle{24, 40, true}},
                     {u"320台除雪机械随时待命　重点路段实行“一路一策”", row3 + 82, TextStyle{12}});
    const std::vector<std::u16string> body = {
        u"本报讯（记者 刘洋）记者从市城市管理局获悉，为应对今冬可能出现的雨雪冰冻天气，"
        u"我市已储备融雪剂1.2万吨、防滑料3500立方米，落实除雪机械320台，组建应急抢险队伍"
        u"46支、2800余人。",
        u"今年，我市首次在主城区桥梁、匝道和长下坡路段布设路面结冰监测点56个，监测数据"
        u"实时接入城市运行管理平台。一旦出现降雪，各责任单位将按照“以雪为令、雪停路通”"
        u"的要求，优先保障主次干道、公交线路和学校、医院周边道路畅通。",
        u"市城管局提醒，雨雪天气出行请尽量选择公共交通，驾车时减速慢行、保持车距，不要"
        u"在桥梁和背阴路段急刹车、急转向。",
    };
    const FlowResult flow = SetBalancedBody(sample, page, a, body, kGrid, 0, 3, row3 + 96,
                                            LineMode::kChainedTd, "roads body");
    truth.articles.push_back(a);
    row3Bottom = flow.bottom;
  }

  // ---- Community canteens, columns 4-5. ----
  {
    vtest::TruthArticle a;
    a.id = "canteens";
    SetHeadsCentered(page, a, kGrid.Centre(3, 2),
                     {u"织密养老服务网　办好群众身边事", row3 + 24, TextStyle{12}},
                     {u"江北区新增12处社区食堂", row3 + 58, TextStyle{22, 20, true}},
                     {u"老年人就餐享补贴　送餐上门覆盖周边小区", row3 + 82, TextStyle{12}});
    const std::vector<std::u16string> body = {
        u"本报讯（记者 黄佳怡）“一荤两素一汤只要12元，八十岁以上老人还能再减3元，饭菜软烂"
        u"可口，比自己在家做方便多了。”12月5日中午，在江北区临河街道社区食堂，72岁的张大爷"
        u"一边吃饭一边说。",
        u"今年以来，江北区将社区食堂建设列入民生实事项目，采取“政府补一点、企业让一点、"
        u"个人出一点”的方式，新建社区食堂12处，日均服务老年人2600余人次。针对行动不便的"
        u"高龄、独居老人，食堂还提供送餐上门服务，由社区志愿者和物业人员组成的送餐队伍"
        u"每天定时配送。",
        u"区民政局负责人表示，明年将在现有基础上再新增社区食堂8处，实现街道全覆盖，并探索"
        u"引入智能结算系统，让老年人刷脸就能就餐、享受补贴。",
    };
    const FlowResult flow = SetBalancedBody(sample, page, a, body, kGrid, 3, 2, row3 + 96,
                                            LineMode::kTmPerLine, "canteens body");
    truth.articles.push_back(a);
    row3Bottom = std::max(row3Bottom, flow.bottom);
  }
  page.Rule(kGrid.ColX(3) - kGrid.gutter / 2, row3 + 12, kGrid.ColX(3) - kGrid.gutter / 2, 1352,
            0.5, kRule);
  const double row4 = row3Bottom + 12;
  page.Rule(kMarginLeft, row4, kGrid.ColX(3) - kGrid.gutter, row4, 0.8, kRule);
  page.Rule(kGrid.ColX(3), row4, kMarginRight, row4, 0.8, kRule);

  // ---- Picture story, columns 1-3: the picture fills the row; two glyphs of its title come
  // from the glyph font. ----
  {
    vtest::TruthArticle a;
    a.id = "first-snow";
    const double size = 24, baseline = row4 + 36;
    const TextStyle title{size, 0, true};
    double x = kGrid.Centre(0, 3) - 5 * size / 2;
    const vtest::TruthBox b1 = page.Type3Run(x, baseline, "\xF5", size);  // 初 (B3F5)
    truth.customRuns.push_back({kType3Font, "初", "F5", b1});
    const vtest::TruthBox b2 = page.Line(b1.right, baseline, u"雪映江", title);
    const vtest::TruthBox b3 = page.Type3Run(b2.right, baseline, "\xC7", size);  // 城 (B3C7)
    truth.customRuns.push_back({kType3Font, "城", "C7", b3});
    a.headline = {"初雪映江城", Union(Union(b1, b2), b3)};
    const double px0 = kGrid.ColX(0), px1 = kGrid.ColX(0) + kGrid.SpanWidth(3);
    const std::u16string caption =
        u"12月6日，滨江迎来今冬首场降雪，江滨公园银装素裹，不少市民趁着周末到江边赏雪拍照。"
        u"据市气象台预报，未来三天我市以多云天气为主，最低气温将降至零下4摄氏度，请市民注意"
        u"防寒保暖、出行安全。　本报记者 周宁 摄";
    const auto capLines = page.Wrap({caption}, px1 - px0, 10, false);
    const double py0 = row4 + 50, py1 = 1352 - 8 - 15 * static_cast<double>(capLines.size());
    page.Picture(snowPhoto, px0, py0, px1, py1);
    page.StrokeBox(px0, py0, px1, py1, 0.5, kRule);
    const FlowResult cap =
        page.Flow(capLines, {{px0, py1 + 8, px1 - px0, 4}}, 10, 15, LineMode::kTmPerLine);
    CheckFlow(sample, cap, "snow caption");
    a.pictures.push_back({"gray", {px0, py0, px1, py1}, Utf8(caption), cap.columns.at(0)});
    truth.articles.push_back(a);
  }

  // ---- Subscription notice, columns 4-5. ----
  {
    const double x0 = kGrid.ColX(3), x1 = kMarginRight, y0 = row4 + 14, y1 = 1352;
    page.FillBox(x0, y0, x1, y1, kBoxTint);
    page.StrokeBox(x0, y0, x1, y1, 1, kBarRed);
    const double c = (x0 + x1) / 2;
    const std::vector<std::u16string> lines = {
        u"全年订价：360元　半年订价：180元", u"订阅热线：96111（工作日8:30—17:30）",
        u"全市各邮政网点及“滨江日报”客户端均可办理", u"年底前订阅全年报纸赠送2027年台历一本"};
    const double blockHeight = 40 + 24 * static_cast<double>(lines.size());
    double y = y0 + (y1 - y0 - blockHeight) / 2 + 16;
    truth.otherTexts.push_back(SetTextCentered(page, c, y, u"《滨江日报》2027年度征订启事",
                                               TextStyle{16, 0, true, kBarRed}));
    y += 34;
    for (const auto& l : lines) {
      truth.otherTexts.push_back(SetTextCentered(page, c, y, l, TextStyle{11}));
      y += 24;
    }
  }

  FinishSample(sample, writer, page);
  if (row4 + 200 > 1352) sample.problems.push_back("no room left for the picture story");
  return sample;
}

}  // namespace samples

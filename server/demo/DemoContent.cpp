#include "demo/DemoContent.h"

#include <QRegularExpression>

namespace DemoContent {

namespace {

QString pick(QRandomGenerator &rng, const QStringList &list) { return list.at(int(rng.bounded(quint32(list.size())))); }

const QStringList subjects = {
    QStringLiteral("城市夜色"), QStringLiteral("老街咖啡馆"), QStringLiteral("开源社区"), QStringLiteral("江南小镇"),
    QStringLiteral("深夜食堂"), QStringLiteral("机械键盘"), QStringLiteral("胶片相机"), QStringLiteral("二十四节气"),
    QStringLiteral("函数式编程"), QStringLiteral("独立书店"), QStringLiteral("高原徒步"), QStringLiteral("家庭厨房"),
    QStringLiteral("旧唱片"), QStringLiteral("雨季"), QStringLiteral("地铁末班车"), QStringLiteral("数据库索引"),
    QStringLiteral("排版设计"), QStringLiteral("海边民宿"), QStringLiteral("纪录片"), QStringLiteral("阳台花园"),
};
const QStringList patterns = {
    QStringLiteral("关于%1的十个瞬间"), QStringLiteral("%1：一次漫长的观察"), QStringLiteral("重新认识%1"),
    QStringLiteral("在%1里慢下来"), QStringLiteral("%1笔记"), QStringLiteral("为什么我们需要%1"),
    QStringLiteral("%1与日常生活"), QStringLiteral("从零开始的%1"), QStringLiteral("%1的另一种可能"),
    QStringLiteral("写给%1的一封信"),
};
const QStringList sentences = {
    QStringLiteral("清晨的光线穿过窗棂，落在桌上那本翻到一半的书上。"),
    QStringLiteral("很多事情并不需要答案，只需要一段足够安静的时间。"),
    QStringLiteral("我们在城市里奔走，却很少停下来看看头顶的天空。"),
    QStringLiteral("这个问题的关键不在于工具，而在于我们如何理解它。"),
    QStringLiteral("老板说，这家店已经开了二十三年，从没换过招牌。"),
    QStringLiteral("数据本身不会说话，能说话的是提出问题的人。"),
    QStringLiteral("傍晚时分，小巷里飘来炒菜的香味，夹杂着孩子们的笑声。"),
    QStringLiteral("真正的效率，往往来自于删减，而不是叠加。"),
    QStringLiteral("每一次出发，都是为了更好地回到原来的地方。"),
    QStringLiteral("他把这些年的照片整理成册，封面只写了两个字：记得。"),
    QStringLiteral("如果把时间拉长到十年，今天的焦虑大多不值一提。"),
    QStringLiteral("雨停之后，石板路泛着微光，像一条缓缓流动的河。"),
    QStringLiteral("好的设计让人察觉不到设计的存在。"),
    QStringLiteral("我们约定，下一个春天再来这里看花。"),
};
const QStringList headings = {
    QStringLiteral("缘起"), QStringLiteral("细节里的故事"), QStringLiteral("几点思考"), QStringLiteral("动手试试"),
    QStringLiteral("尾声"), QStringLiteral("一些数据"),
};
const QStringList comments = {
    QStringLiteral("写得真好，想起了小时候。"), QStringLiteral("收藏了，周末慢慢看。"),
    QStringLiteral("第二段的观点很有启发。"), QStringLiteral("请问文中的那家店在哪里？"),
    QStringLiteral("期待下一篇！"), QStringLiteral("不太同意作者的看法，不过角度很新颖。"),
    QStringLiteral("配图太美了。"), QStringLiteral("代码示例跑通了，感谢分享。"),
};

QString paragraph(QRandomGenerator &rng)
{
    QString p;
    const int count = 2 + int(rng.bounded(4));
    for (int i = 0; i < count; ++i)
        p += pick(rng, sentences);
    return p;
}

// Search sees exactly the words a reader sees: the markup stripped.
QString plainText(const QString &html)
{
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    QString text = html;
    text.replace(tags, QStringLiteral(" "));
    return text.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
        .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
}

} // namespace

const QStringList &authorNames()
{
    static const QStringList names = {
        QStringLiteral("林晓舟"), QStringLiteral("陈墨"), QStringLiteral("苏青禾"), QStringLiteral("周远山"),
        QStringLiteral("顾南枝"), QStringLiteral("许听澜"), QStringLiteral("沈知白"), QStringLiteral("江一帆"),
    };
    return names;
}

const QStringList &tagNames()
{
    static const QStringList names = {
        QStringLiteral("科技"), QStringLiteral("编程"), QStringLiteral("设计"), QStringLiteral("旅行"),
        QStringLiteral("美食"), QStringLiteral("读书"), QStringLiteral("电影"), QStringLiteral("音乐"),
        QStringLiteral("摄影"), QStringLiteral("城市"), QStringLiteral("历史"), QStringLiteral("生活"),
    };
    return names;
}

const QStringList &guestNames()
{
    static const QStringList names = {
        QStringLiteral("路过的猫"), QStringLiteral("小雨"), QStringLiteral("阿杰"), QStringLiteral("读者甲"),
    };
    return names;
}

QString title(QRandomGenerator &rng) { return pick(rng, patterns).arg(pick(rng, subjects)); }

QString commentText(QRandomGenerator &rng) { return pick(rng, comments); }

Body body(QRandomGenerator &rng, qint64 articleId, int paragraphs, bool rich)
{
    Body b;
    QString &h = b.html;
    h += QStringLiteral("<p>") + paragraph(rng) + QStringLiteral("</p>\n");
    // Some posts embed a video or a map, as blog posts do (no random draw:
    // the rest of the site stays as it was).
    const QString subject = subjects.at(int(articleId % subjects.size()));
    if (rich && articleId % 10 == 7)
        h += QStringLiteral("<iframe src=\"https://player.bilibili.com/player.html?bvid=BV1Papelo%1\" width=\"560\" "
                            "height=\"315\" title=\"%2：现场视频\" allowfullscreen></iframe>\n")
                 .arg(articleId).arg(subject);
    else if (rich && articleId % 10 == 3)
        h += QStringLiteral("<iframe src=\"https://www.openstreetmap.org/export/embed.html?bbox=120.12%2C30.22%2C120.18"
                            "%2C30.27&amp;layer=mapnik\" width=\"600\" height=\"300\" title=\"西湖一带\"></iframe>\n");
    int figure = 0;
    for (int i = 1; i < paragraphs; ++i) {
        if (rich && i % 3 == 1) {
            const QString heading = pick(rng, headings);
            h += QStringLiteral("<h2>%1</h2>\n").arg(heading);
        }
        h += QStringLiteral("<p>") + paragraph(rng) + QStringLiteral("</p>\n");
        if (!rich)
            continue;
        switch ((i + int(articleId)) % 6) {
        case 0:
            if (figure < 3) {
                ++figure;
                h += QStringLiteral("<figure><img src=\"{{origin}}/images/body/%1-%2.png\" alt=\"插图 %2\">"
                                    "<figcaption>图 %2：%3</figcaption></figure>\n")
                         .arg(articleId).arg(figure).arg(pick(rng, subjects));
            }
            break;
        case 1: {
            const QString quote = pick(rng, sentences);
            h += QStringLiteral("<blockquote><p>%1</p></blockquote>\n").arg(quote);
            break;
        }
        case 2:
            h += QStringLiteral("<p>运行 <code>git log --oneline</code> 查看提交记录，或参阅"
                                "<a href=\"https://papelo.example/posts/%1\">上一篇文章</a>。</p>\n")
                     .arg(qMax<qint64>(1, articleId - 1));
            break;
        case 3:
            h += QStringLiteral("<pre>for (const auto &amp;item : items) {\n    total += item.price * item.count;\n}</pre>\n");
            break;
        case 4:
            h += QStringLiteral("<table><thead><tr><th>项目</th><th>数量</th><th>备注</th></tr></thead><tbody>"
                                "<tr><td>咖啡</td><td>%1</td><td>手冲</td></tr>"
                                "<tr><td>茶</td><td>%2</td><td>龙井</td></tr></tbody></table>\n")
                     .arg(rng.bounded(20) + 1).arg(rng.bounded(20) + 1);
            break;
        default:
            h += QStringLiteral("<h3>小结</h3>\n<ul><li>少即是多</li><li>保持好奇</li><li>慢慢来</li></ul>\n");
            break;
        }
    }
    b.text = plainText(h);
    return b;
}

} // namespace DemoContent

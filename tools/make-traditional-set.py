#!/usr/bin/env python3
"""Makes the traditional-character test set from a simplified gold file.

Each sentence is converted whole with OpenCC's s2t (phrase by phrase, so that
a character with several traditional forms gets the one its word needs), and
the converted sentence is cut back into the gold's words by their character
spans: the words and tags stay those of the gold. A sentence whose conversion
changes its length is refused (none does in data/modern).

    tools/make-traditional-set.py data/modern/modern.txt > data/traditional/modern-t.txt
    tools/make-traditional-set.py --ambiguous data/modern/modern.txt

--ambiguous lists, for the hand check, every word holding a character whose
simplified form stands for more than one traditional character, with the form
chosen.
"""
import argparse
import re
import subprocess
import sys

ITEM = re.compile(r"^(.*)/([A-Za-z]+)$")

# Simplified characters that stand for two or more traditional ones.
AMBIGUOUS = {
    "发": "發髮", "后": "後后", "干": "乾幹干", "面": "麵面", "只": "隻只", "台": "臺颱檯台",
    "里": "裡裏里", "系": "係繫系", "复": "復複覆", "准": "準准", "钟": "鐘鍾", "斗": "鬥斗",
    "历": "歷曆", "范": "範范", "云": "雲云", "制": "製制", "余": "餘余", "谷": "穀谷",
    "松": "鬆松", "冲": "衝沖", "卷": "捲卷", "占": "佔占", "尽": "盡儘", "获": "獲穫",
    "表": "錶表", "胡": "鬍胡", "须": "須鬚", "致": "緻致", "征": "徵征", "划": "劃划",
    "坛": "壇罈", "汇": "匯彙", "托": "託托", "只": "隻只", "别": "別彆", "家": "家傢",
    "据": "據据", "于": "於于", "游": "遊游", "借": "借藉", "凶": "兇凶", "采": "採采",
    "秋": "秋鞦", "困": "睏困", "折": "折摺", "朴": "樸朴", "舍": "捨舍", "仆": "僕仆",
    "当": "當噹", "团": "團糰", "钩": "鉤", "蒙": "蒙濛懞矇", "纤": "纖縴", "杰": "傑杰",
    "布": "布佈", "尝": "嘗嚐", "曲": "曲麴", "丑": "醜丑", "症": "症癥", "向": "向嚮",
    "咸": "鹹咸", "拐": "拐柺", "了": "了瞭", "几": "幾几", "奸": "奸姦", "吊": "吊弔",
    "伙": "夥伙", "沈": "沈瀋", "郁": "鬱郁", "御": "御禦", "岳": "嶽岳", "扎": "扎紮",
    "致": "致緻", "注": "注註", "志": "志誌", "周": "周週", "烟": "煙菸", "出": "出齣",
    "冬": "冬鼕", "串": "串", "刮": "刮颳", "克": "克剋", "念": "念唸", "辟": "闢辟",
    "签": "簽籤", "合": "合閤", "恶": "惡噁", "才": "才纔", "卜": "卜蔔", "辫": "辮",
}


# Hand corrections of the conversion, word by word (OpenCC's form -> the one
# traditional writing uses): 降准 is 降低存款準備金率 shortened; 纔 is an
# old variant that present-day text writes 才.
CORRECTIONS = {"降准": "降準", "纔": "才"}


def parse(line):
    words = []
    for item in line.split("  "):
        item = item.strip()
        if not item:
            continue
        prefix = ""
        while item.startswith("[") and len(item) > 1:
            prefix += "["
            item = item[1:]
        suffix = ""
        close = item.rfind("]")
        if close > 0 and "/" in item[:close]:
            suffix = item[close:]
            item = item[:close]
        m = ITEM.match(item)
        if not m:
            raise ValueError("cannot parse %r" % item)
        words.append((prefix, m.group(1), m.group(2), suffix))
    return words


def s2t(lines):
    out = subprocess.run(["opencc", "-c", "s2t"], input="\n".join(lines) + "\n", capture_output=True,
                         text=True, check=True).stdout
    return out.split("\n")[:len(lines)]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("gold")
    parser.add_argument("--ambiguous", action="store_true")
    args = parser.parse_args()
    with open(args.gold, encoding="utf-8") as f:
        gold = [line.rstrip("\n") for line in f]
    parsed = [parse(line) for line in gold]
    raw = ["".join(w for _, w, _, _ in words) for words in parsed]
    converted = s2t(raw)
    for number, (words, simple, trad) in enumerate(zip(parsed, raw, converted), 1):
        if len(simple) != len(trad):
            sys.exit("line %d: the conversion changes the length: %s" % (number, trad))
        at = 0
        items = []
        for prefix, word, tag, suffix in words:
            t = trad[at:at + len(word)]
            if args.ambiguous:
                for s, c in zip(word, t):
                    if s in AMBIGUOUS:
                        print("%d\t%s\t%s\t%s->%s" % (number, word, t, s, c))
            at += len(word)
            t = CORRECTIONS.get(t, t)
            items.append("%s%s/%s%s" % (prefix, t, tag, suffix))
        if not args.ambiguous:
            print("  ".join(items))


if __name__ == "__main__":
    main()

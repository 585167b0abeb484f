#!/usr/bin/env python3
"""Writes the report templates data/docs/protokol.docx and data/docs/cprotokol.docx.

The report fills them through their bookmarks: "num" (factory number), "btn" (the four contact
type names in the log table's title row), "tab0".."tab3" (the first cell that the report types
into; tables grow by a row when the report moves on from their last cell). The templates are
committed; run this again only to change their look:  python3 tools/make_report_templates.py
"""
import os
import sys
import zipfile
from xml.sax.saxutils import escape

W = 'http://schemas.openxmlformats.org/wordprocessingml/2006/main'
R = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships'
FONT = 'Liberation Sans'
# The marks typed into flag and channel cells (check mark, filled and empty square) are in this
# font, which every desktop has and which holds them.
MARK_FONT = 'DejaVu Sans'
PAGE_W, PAGE_H, MARGIN = 16838, 11906, 850  # A4 landscape, twips
TEXT_W = PAGE_W - 2 * MARGIN


class Ids:
    next = 0

    @classmethod
    def take(cls):
        cls.next += 1
        return cls.next


def rpr(size=16, bold=False, font=FONT):
    return ('<w:rPr><w:rFonts w:ascii="%s" w:hAnsi="%s" w:cs="%s"/>%s<w:sz w:val="%d"/><w:szCs w:val="%d"/></w:rPr>'
            % (font, font, font, '<w:b/>' if bold else '', size, size))


def run(text, size=16, bold=False):
    return '<w:r>%s<w:t xml:space="preserve">%s</w:t></w:r>' % (rpr(size, bold), escape(text))


def bookmark(name, inner=''):
    i = Ids.take()
    return '<w:bookmarkStart w:id="%d" w:name="%s"/>%s<w:bookmarkEnd w:id="%d"/>' % (i, name, inner, i)


def para(content='', size=16, bold=False, align=None, space_after=0, font=FONT, plain=False):
    """plain: the paragraph takes the document's default text (the font and size of rpr()), so
    that the log rows, which repeat it thousands of times, stay small."""
    ppr = '<w:pPr><w:spacing w:before="0" w:after="%d"/>%s%s</w:pPr>' % (
        space_after, '<w:jc w:val="%s"/>' % align if align else '', '' if plain else rpr(size, bold, font))
    return '<w:p>%s%s</w:p>' % (ppr, content)


def cell(width, content='', bold=False, align=None, shade=False, font=FONT, plain=False):
    tcpr = '<w:tcPr><w:tcW w:w="%d" w:type="dxa"/>%s<w:vAlign w:val="center"/></w:tcPr>' % (
        width, '<w:shd w:val="clear" w:color="auto" w:fill="D9D9D9"/>' if shade else '')
    return '<w:tc>%s%s</w:tc>' % (tcpr, para(content, bold=bold, align=align, font=font, plain=plain))


def table(widths, rows):
    """rows: list of (cells, header) where cells is a list of (content, bold, align[, font[, plain]])."""
    borders = ''.join('<w:%s w:val="single" w:sz="4" w:space="0" w:color="000000"/>' % side
                      for side in ('top', 'left', 'bottom', 'right', 'insideH', 'insideV'))
    out = ['<w:tbl><w:tblPr><w:tblW w:w="%d" w:type="dxa"/><w:tblLayout w:type="fixed"/>'
           '<w:tblBorders>%s</w:tblBorders><w:tblCellMar><w:left w:w="40" w:type="dxa"/>'
           '<w:right w:w="40" w:type="dxa"/></w:tblCellMar></w:tblPr>' % (sum(widths), borders)]
    out.append('<w:tblGrid>%s</w:tblGrid>' % ''.join('<w:gridCol w:w="%d"/>' % w for w in widths))
    for cells, header in rows:
        out.append('<w:tr>%s' % ('<w:trPr><w:tblHeader/></w:trPr>' if header else ''))
        for w, c in zip(widths, cells):
            content, bold, align = c[:3]
            out.append(cell(w, content, bold, align, shade=header, font=c[3] if len(c) > 3 else FONT,
                            plain=c[4] if len(c) > 4 else False))
        out.append('</w:tr>')
    out.append('</w:tbl>')
    return ''.join(out)


def title_row(texts):
    return ([(run(t, bold=True) if t else '', True, 'center') for t in texts], True)


def empty_row(count, first='', center_from=None, marks=(), plain=False):
    """A data row; cells from `center_from` on (the marks and numbers) are centred, cells whose
    index is in `marks` type in the marks' font, the others (when `plain`) in the default text."""
    cells = [(first, False, None)] + [('', False, None)] * (count - 1)
    if center_from is not None:
        cells = [(c, b, 'center' if i >= center_from else a) for i, (c, b, a) in enumerate(cells)]
    cells = [(c, b, a, MARK_FONT if i in marks else FONT, plain and i not in marks) for i, (c, b, a) in enumerate(cells)]
    return (cells, False)


def spread(total, fixed):
    """Widths for `fixed` leading columns, the rest of `total` shared by the remaining ones."""
    def widths(count):
        rest = count - len(fixed)
        share = (total - sum(fixed)) // rest
        return list(fixed) + [share] * rest
    return widths


def document(body):
    sect = ('<w:sectPr><w:pgSz w:w="%d" w:h="%d" w:orient="landscape"/>'
            '<w:pgMar w:top="%d" w:right="%d" w:bottom="%d" w:left="%d" w:header="400" w:footer="400" w:gutter="0"/>'
            '</w:sectPr>' % (PAGE_W, PAGE_H, MARGIN, MARGIN, MARGIN, MARGIN))
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<w:document xmlns:w="%s" xmlns:r="%s"><w:body>%s%s</w:body></w:document>' % (W, R, body, sect))


def heading(text):
    return para(run(text, size=20, bold=True), size=20, bold=True, space_after=60)


def vemor_body():
    b = [para(run('ПРОТОКОЛ СОБЫТИЙ', size=28, bold=True), size=28, bold=True, align='center', space_after=120),
         para(run('ВЕМОР  зав. №', size=24, bold=True) + bookmark('num'), size=24, bold=True, align='center',
              space_after=240),
         heading('Журнал событий')]
    widths = spread(TEXT_W, [1500, 1700])(13)
    titles = ['Дата', 'Время', 'ВЕМОР', 'Самозап.', '', '', '', '', 'Двигат.', 'Разреш.', 'Uнорма', 'U крит.', 'U, В']
    head, _ = title_row(titles)
    head[4] = (bookmark('btn'), True, 'center')
    b.append(table(widths, [(head, True), empty_row(13, bookmark('tab1'), center_from=2, marks=range(2, 12), plain=True)]))
    b.append(para(space_after=240))
    b.append(heading('Параметры'))
    b.append(table([7000, 2500], [empty_row(2, bookmark('tab2'))]))
    b.append(para(space_after=240))
    b.append(heading('Учет'))
    b.append(table([7000, 2500], [empty_row(2, bookmark('tab3')), empty_row(2), empty_row(2)]))
    return ''.join(b)


def sulm_body():
    channels = ['%2d' % i for i in range(1, 17)]
    b = [para(run('ПРОТОКОЛ СОБЫТИЙ', size=28, bold=True), size=28, bold=True, align='center', space_after=120),
         para(run('СУЛМ  зав. №', size=24, bold=True) + bookmark('num'), size=24, bold=True, align='center',
              space_after=240),
         heading('Наименования каналов')]
    names = [TEXT_W // 16] * 16
    b.append(table(names, [title_row(channels), empty_row(16, bookmark('tab0'))]))
    b.append(para(space_after=240))
    b.append(heading('Параметры (пауза, мс; инверсия каналов)'))
    params = spread(TEXT_W, [2700])(17)
    b.append(table(params, [title_row(['Пауза'] + channels),
                            empty_row(17, bookmark('tab2'), center_from=1, marks=range(1, 17))]))
    b.append(para(space_after=240))
    b.append(heading('Учет (начало учета; срабатывания по каналам)'))
    b.append(table(params, [title_row(['Начало учета'] + channels), empty_row(17, bookmark('tab3'), center_from=1)]))
    b.append(para(space_after=240))
    b.append(heading('Журнал событий'))
    log = spread(TEXT_W, [1400, 1300])(18)
    b.append(table(log, [title_row(['Дата', 'Время'] + channels),
                         empty_row(18, bookmark('tab1'), center_from=2, marks=range(2, 18), plain=True)]))
    return ''.join(b)


CONTENT_TYPES = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                 '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                 '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
                 '<Default Extension="xml" ContentType="application/xml"/>'
                 '<Override PartName="/word/document.xml" '
                 'ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>'
                 '<Override PartName="/word/styles.xml" '
                 'ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml"/>'
                 '</Types>')
PACKAGE_RELS = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                '<Relationship Id="rId1" '
                'Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" '
                'Target="word/document.xml"/></Relationships>')
DOCUMENT_RELS = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                 '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                 '<Relationship Id="rId1" '
                 'Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" '
                 'Target="styles.xml"/></Relationships>')
STYLES = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
          '<w:styles xmlns:w="%s"><w:docDefaults><w:rPrDefault><w:rPr>'
          '<w:rFonts w:ascii="%s" w:hAnsi="%s" w:cs="%s" w:eastAsia="%s"/><w:sz w:val="16"/><w:szCs w:val="16"/>'
          '<w:lang w:val="ru-RU"/></w:rPr></w:rPrDefault><w:pPrDefault><w:pPr><w:spacing w:after="0"/></w:pPr>'
          '</w:pPrDefault></w:docDefaults><w:style w:type="paragraph" w:default="1" w:styleId="Normal">'
          '<w:name w:val="Normal"/></w:style></w:styles>' % (W, FONT, FONT, FONT, FONT))


def write(path, body):
    Ids.next = 0
    parts = [('[Content_Types].xml', CONTENT_TYPES), ('_rels/.rels', PACKAGE_RELS),
             ('word/document.xml', document(body)), ('word/_rels/document.xml.rels', DOCUMENT_RELS),
             ('word/styles.xml', STYLES)]
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as z:
        for name, text in parts:
            # A fixed time stamp keeps the committed files the same from run to run.
            z.writestr(zipfile.ZipInfo(name, date_time=(2001, 1, 1, 0, 0, 0)), text.encode('utf-8'),
                       compress_type=zipfile.ZIP_DEFLATED)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'data', 'docs')
    os.makedirs(out, exist_ok=True)
    write(os.path.join(out, 'protokol.docx'), vemor_body())
    write(os.path.join(out, 'cprotokol.docx'), sulm_body())


if __name__ == '__main__':
    main()

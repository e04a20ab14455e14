// The reader's own script in every article body. It runs in the isolated
// application world from the creation of each document, before the body's
// first element exists: whatever the reader changes in a shown body is done
// here, so the published document stays byte for byte as styled and nothing
// in it can switch this off (page JavaScript is off; this world is not).
//
// Frames without an http(s) address show nothing: an iframe with srcdoc, a
// frame, embed or object whose address is data:, about:, blob:, another
// scheme or missing is removed as the parser inserts it, before it renders
// or loads anything (an object without data shows its own content and
// stays). An iframe, embed or object with an http(s) address becomes a card
// in its place: a plain link to that address (so the reader's link rule
// opens it in the system browser), as wide and as tall as the frame would
// have been, naming the host, the kind ("视频" for the known video hosts) and
// the frame's title. Texts taken from the body are inserted as text only.
//
// Video and audio show their controls and wait for the reader: no autoplay,
// nothing fetched before play (preload none), no full-screen, download or
// casting button (the view has no full screen to give; the engine shows the
// full-screen button greyed out whatever controlslist says, so a style rule
// hides it).
//
// A click on a picture outside any link (or Enter on it: such pictures take
// the focus) asks the reader's viewer to open it by navigating to
// "papelo-article://view-picture/?index=N", which the host intercepts; N
// counts the pictures that papelo.pictures() lists. The page never sees
// `papelo`: it lives in this world only.
//
// Text size: the document's own text sizes (the body's 17 px, captions) and
// the cards' are scaled by a style sheet adopted beside the document's, so
// line heights follow and pictures keep their size; at 100 % there is none.
// A place in the body is a leaf block (in document order) and how far into
// it: it holds across text sizes and widths, for keeping the paragraph in
// view and for reading positions. Find searches the body's shown text and
// marks its matches with boxes laid over the text, near the part of the
// document in view only, so the document's own nodes stay untouched.
(function () {
    'use strict';
    var FRAMES = 'iframe, frame, embed, object';
    var MEDIA = 'video, audio';
    var VIDEO_HOSTS = ['youtube.com', 'youtube-nocookie.com', 'player.bilibili.com', 'v.qq.com',
                       'player.youku.com', 'vimeo.com'];
    var CONTROLS_LIST = 'nofullscreen nodownload noremoteplayback';
    // Control and bidirectional characters would let a title rearrange the card.
    var UNSAFE_TEXT = /[\u0000-\u001f\u007f-\u009f\u061c\u200e\u200f\u202a-\u202e\u2066-\u2069]/g;
    // Colours of the styled document: border, surface tint, text, muted, accent.
    var STYLE = 'video::-webkit-media-controls-fullscreen-button{display:none !important}' +
        '.papelo-embed{display:flex;flex-direction:column;align-items:center;justify-content:center;gap:6px;' +
        'box-sizing:border-box;max-width:100%;margin:12px auto;padding:16px;overflow:hidden;text-align:center;' +
        'border:1px solid #ECEBE8;border-radius:8px;background:rgba(15,123,108,.06);color:#1F1D1A;' +
        'line-height:1.4;text-decoration:none}' +
        '.papelo-embed:focus-visible{outline:2px solid #0F7B6C;outline-offset:2px}' +
        '.papelo-embed-play{width:44px;height:44px;border-radius:50%;background:#0F7B6C;flex:none;' +
        'display:flex;align-items:center;justify-content:center}' +
        '.papelo-embed-play::after{content:"";margin-left:4px;border-style:solid;border-width:9px 0 9px 15px;' +
        'border-color:transparent transparent transparent #FFFFFF}' +
        '.papelo-embed-kind{font-size:.765em;color:#787570;unicode-bidi:isolate}' +
        '.papelo-embed-title{font-weight:600;max-width:100%;overflow:hidden;display:-webkit-box;' +
        '-webkit-line-clamp:2;-webkit-box-orient:vertical;unicode-bidi:isolate}' +
        '.papelo-embed-open{font-size:.882em;color:#0F7B6C}' +
        '.papelo-find-mark{position:absolute !important;display:block !important;margin:0 !important;padding:0 !important;' +
        'border:0 !important;border-radius:2px !important;pointer-events:none !important;' +
        'background:rgba(250,204,21,.45) !important;mix-blend-mode:multiply}' +
        '.papelo-find-mark.papelo-find-current{background:rgba(249,115,22,.65) !important}' +
        '@media (prefers-color-scheme: dark){' +
        '.papelo-embed{border-color:#2A2B28;background:rgba(87,184,168,.10);color:#E6E4E0}' +
        '.papelo-embed:focus-visible{outline-color:#57B8A8}' +
        '.papelo-embed-play{background:#57B8A8}' +
        '.papelo-embed-play::after{border-color:transparent transparent transparent #111210}' +
        '.papelo-embed-kind{color:#9B968F}' +
        '.papelo-embed-open{color:#57B8A8}' +
        '.papelo-find-mark{background:rgba(250,204,21,.35) !important;mix-blend-mode:normal}' +
        '.papelo-find-mark.papelo-find-current{background:rgba(249,115,22,.55) !important}}';
    // The document's own sizes in pixels, as the styled document sets them.
    var BODY_TEXT_PX = 17, CAPTION_PX = 12;
    // Leaf blocks are the places a reader comes back to.
    var BLOCKS = 'p,h1,h2,h3,h4,h5,h6,li,dt,dd,pre,blockquote,figure,figcaption,table,tr,img,hr,video,audio,' +
        'a.papelo-embed,div,section,article,aside,header,footer,details,summary,address';
    // Text inside these elements flows on in the same line, so a match may span them.
    var INLINE = /^(a|abbr|b|bdi|bdo|cite|code|data|del|dfn|em|font|i|ins|kbd|mark|q|rp|rt|ruby|s|samp|small|span|strong|sub|sup|time|u|var|wbr)$/;
    var MAX_MARKS = 400;
    var styled = false;
    var watched = new WeakSet();
    var textScale = 1, sizeSheet = null;
    var blocksCache = null, textCache = null;
    var found = {query: '', starts: [], length: 0, current: -1, layer: null};

    function webAddress(text) {
        if (text === null || text === undefined || text.trim() === '')
            return null;
        try {
            var url = new URL(text, document.baseURI);
            return url.protocol === 'http:' || url.protocol === 'https:' ? url : null;
        } catch (e) {
            return null;
        }
    }

    function frameAddress(element) {
        switch (element.localName) {
        case 'iframe':
            return element.hasAttribute('srcdoc') ? null : webAddress(element.getAttribute('src'));
        case 'frame':
        case 'embed':
            return webAddress(element.getAttribute('src'));
        case 'object':
            return webAddress(element.getAttribute('data'));
        }
        return null;
    }

    // A dimension attribute as HTML reads it: a leading number, maybe a percentage.
    function dimension(value, fallback) {
        var match = /^\s*(\d+(?:\.\d+)?)\s*(%?)/.exec(value || '');
        var number = match ? parseFloat(match[1]) : 0;
        return number > 0 && isFinite(number) ? {value: number, percent: match[2] === '%'} : fallback;
    }

    function span(className, text) {
        var element = document.createElement('span');
        element.className = className;
        if (text)
            element.textContent = text;
        return element;
    }

    function ensureStyle() {
        if (styled)
            return;
        styled = true;
        var style = document.createElement('style');
        style.textContent = STYLE;
        (document.head || document.documentElement).appendChild(style);
    }

    function card(frame, url) {
        ensureStyle();
        var host = url.hostname;
        var video = VIDEO_HOSTS.some(function (known) {
            return host === known || host.slice(-known.length - 1) === '.' + known;
        });
        var kind = video ? '视频' : '嵌入内容';
        var title = (frame.getAttribute('title') || '').replace(UNSAFE_TEXT, '').trim().slice(0, 200);
        // The space the frame would have taken (300 by 150 without attributes).
        var width = dimension(frame.getAttribute('width'), {value: 300, percent: false});
        var height = dimension(frame.getAttribute('height'), {value: 150, percent: false});
        var size = 'width:' + width.value + (width.percent ? '%;' : 'px;');
        if (height.percent)
            size += 'height:150px;';
        else if (width.percent)
            size += 'height:' + height.value + 'px;';
        else
            size += 'aspect-ratio:' + width.value + ' / ' + height.value + ';';

        var link = document.createElement('a');
        link.href = url.href;
        link.className = 'papelo-embed' + (frame.getAttribute('class') ? ' ' + frame.getAttribute('class') : '');
        if (frame.id)
            link.id = frame.id;
        // The frame's own style (a responsive wrapper's absolute box) still places the card.
        link.setAttribute('style', size + (frame.getAttribute('style') || ''));
        link.setAttribute('aria-label', kind + '：' + (title ? title + '，' : '') + host + '，在浏览器中打开');
        if (video)
            link.appendChild(span('papelo-embed-play'));
        link.appendChild(span('papelo-embed-kind', kind + ' · ' + host));
        if (title)
            link.appendChild(span('papelo-embed-title', title));
        link.appendChild(span('papelo-embed-open', '在浏览器中打开'));
        return link;
    }

    function judgeFrame(element) {
        var parent = element.parentNode;
        if (!parent)
            return;
        var url = frameAddress(element);
        if (url && element.localName !== 'frame')
            parent.replaceChild(card(element, url), element);
        else if (url || (element.localName === 'object' && !element.hasAttribute('data')))
            return;
        else
            parent.removeChild(element);
    }

    function quiet(media) {
        ensureStyle();
        if (media.hasAttribute('autoplay'))
            media.removeAttribute('autoplay');
        if (media.getAttribute('preload') !== 'none')
            media.setAttribute('preload', 'none');
        if (!media.hasAttribute('controls'))
            media.setAttribute('controls', '');
        if (media.getAttribute('controlslist') !== CONTROLS_LIST)
            media.setAttribute('controlslist', CONTROLS_LIST);
        if (!media.hasAttribute('disableremoteplayback'))
            media.setAttribute('disableremoteplayback', '');
        if (media.localName === 'video' && !media.hasAttribute('disablepictureinpicture'))
            media.setAttribute('disablepictureinpicture', '');
    }

    function pictureAddress(img) {
        var address = img.currentSrc || img.src;
        return /^(https?|data):/i.test(address) ? address : null;
    }

    // A picture the viewer shows: not part of a link or image map, laid out,
    // and not a one-pixel tracker.
    function viewable(img) {
        return !img.closest('a[href], area[href]') && !img.hasAttribute('usemap') && pictureAddress(img) !== null
            && img.getClientRects().length > 0 && !(img.complete && img.naturalWidth <= 1 && img.naturalHeight <= 1);
    }

    function pictures() {
        return Array.prototype.filter.call(document.images, viewable);
    }

    function focusable(img) {
        if (!img.hasAttribute('tabindex') && viewable(img))
            img.setAttribute('tabindex', '0');
    }

    function watchPicture(img) {
        if (watched.has(img) || img.closest('a[href]'))
            return;
        watched.add(img);
        if (img.complete)
            focusable(img);
        img.addEventListener('load', function () { focusable(img); });
    }

    function openPicture(img) {
        var index = pictures().indexOf(img);
        if (index < 0)
            return false;
        location.href = 'papelo-article://view-picture/?index=' + index;
        return true;
    }

    function sweep(node) {
        if (node.nodeType !== Node.ELEMENT_NODE)
            return;
        var found = node.querySelectorAll(FRAMES);
        for (var i = 0; i < found.length; ++i)
            judgeFrame(found[i]);
        if (node.matches(FRAMES))
            judgeFrame(node);
        var media = node.querySelectorAll(MEDIA);
        for (var j = 0; j < media.length; ++j)
            quiet(media[j]);
        if (node.matches(MEDIA))
            quiet(node);
        var images = node.getElementsByTagName('img');
        for (var k = 0; k < images.length; ++k)
            watchPicture(images[k]);
        if (node.localName === 'img')
            watchPicture(node);
    }

    function ours(node) {
        return found.layer !== null && (node === found.layer || found.layer.contains(node));
    }

    // A change of the find marks alone changes nothing a search or a place depends on.
    function marksOnly(record) {
        if (ours(record.target))
            return true;
        var nodes = Array.prototype.slice.call(record.addedNodes).concat(Array.prototype.slice.call(record.removedNodes));
        return nodes.length > 0 && nodes.every(function (node) { return node === found.layer; });
    }

    function scaleSheet(scale) {
        if (!sizeSheet) {
            sizeSheet = new CSSStyleSheet();
            document.adoptedStyleSheets = document.adoptedStyleSheets.concat([sizeSheet]);
        }
        sizeSheet.replaceSync(scale === 1 ? '' :
            'body{font-size:' + BODY_TEXT_PX * scale + 'px !important}' +
            'figcaption{font-size:' + CAPTION_PX * scale + 'px !important}');
    }

    function documentRect(element) {
        var r = element.getBoundingClientRect();
        return {top: r.top + window.scrollY, bottom: r.bottom + window.scrollY, height: r.height};
    }

    // The shown blocks that hold no other block, in document order; their
    // tops follow one another down the page.
    function blocks() {
        if (blocksCache)
            return blocksCache;
        var all = document.body ? document.body.querySelectorAll(BLOCKS) : [];
        blocksCache = [];
        for (var i = 0; i < all.length; ++i) {
            if (!all[i].querySelector(BLOCKS) && all[i].getClientRects().length > 0)
                blocksCache.push(all[i]);
        }
        return blocksCache;
    }

    // The first leaf block reaching below document position y.
    function placeAt(y) {
        var list = blocks();
        if (!list.length)
            return {block: 0, offset: 0};
        var lo = 0, hi = list.length - 1;
        while (lo < hi) {
            var mid = (lo + hi) >> 1;
            if (documentRect(list[mid]).bottom > y)
                hi = mid;
            else
                lo = mid + 1;
        }
        var r = documentRect(list[lo]);
        return {block: lo, offset: Math.min(1, Math.max(0, (y - r.top) / Math.max(1, r.height)))};
    }

    function positionOf(block, offset) {
        var list = blocks();
        if (!list.length)
            return 0;
        var r = documentRect(list[Math.min(list.length - 1, Math.max(0, block | 0))]);
        return r.top + Math.min(1, Math.max(0, +offset || 0)) * r.height;
    }

    function rendered(node) {
        for (var e = node.parentElement; e; e = e.parentElement) {
            if (/^(script|style|noscript|template|textarea|select|option|title)$/.test(e.localName))
                return false;
            if (e === document.body)
                break;
        }
        return node.parentElement.getClientRects().length > 0;
    }

    function blockOf(node) {
        var e = node.parentElement;
        while (e && e !== document.body && INLINE.test(e.localName))
            e = e.parentElement;
        return e;
    }

    // The body's shown text as one string, text nodes of different blocks
    // apart, with where each node starts in it.
    function textIndex() {
        if (textCache)
            return textCache;
        textCache = {text: '', nodes: [], starts: []};
        if (!document.body)
            return textCache;
        var parts = [], length = 0, lastBlock = null;
        var walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
        for (var node = walker.nextNode(); node; node = walker.nextNode()) {
            if (!node.data.length || !rendered(node))
                continue;
            var block = blockOf(node);
            if (lastBlock !== null && block !== lastBlock) {
                parts.push('\n');
                ++length;
            }
            lastBlock = block;
            textCache.nodes.push(node);
            textCache.starts.push(length);
            parts.push(node.data);
            length += node.data.length;
        }
        textCache.text = parts.join('');
        return textCache;
    }

    function pointAt(index, offset) {
        var starts = index.starts, lo = 0, hi = starts.length - 1;
        while (lo < hi) {
            var mid = (lo + hi + 1) >> 1;
            if (starts[mid] <= offset)
                lo = mid;
            else
                hi = mid - 1;
        }
        return {node: index.nodes[lo], offset: Math.min(offset - starts[lo], index.nodes[lo].data.length)};
    }

    function matchRange(k) {
        var index = textIndex();
        var from = pointAt(index, found.starts[k]), to = pointAt(index, found.starts[k] + found.length);
        var range = document.createRange();
        range.setStart(from.node, from.offset);
        range.setEnd(to.node, to.offset);
        return range;
    }

    function matchTop(k) {
        return matchRange(k).getBoundingClientRect().top + window.scrollY;
    }

    // Marks over the matches near the part of the document in view (the
    // view is a few viewports tall and follows the page).
    function drawMarks() {
        if (found.layer)
            found.layer.textContent = '';
        if (!found.starts.length)
            return;
        if (!found.layer) {
            ensureStyle();
            found.layer = document.createElement('div');
            found.layer.setAttribute('aria-hidden', 'true');
            found.layer.setAttribute('style', 'position:absolute !important;left:0 !important;top:0 !important;' +
                'width:0 !important;height:0 !important;margin:0 !important;padding:0 !important;' +
                'overflow:visible !important;pointer-events:none !important;z-index:2147483647 !important');
        }
        if (found.layer.parentNode !== document.documentElement)
            document.documentElement.appendChild(found.layer);
        var top = window.scrollY - window.innerHeight, bottom = window.scrollY + 2 * window.innerHeight;
        var lo = 0, hi = found.starts.length - 1;
        while (lo < hi) {
            var mid = (lo + hi) >> 1;
            if (matchTop(mid) >= top)
                hi = mid;
            else
                lo = mid + 1;
        }
        var drawn = 0;
        for (var k = lo; k < found.starts.length && drawn < MAX_MARKS; ++k) {
            var rects = matchRange(k).getClientRects();
            if (rects.length && rects[0].top + window.scrollY > bottom)
                break;
            for (var j = 0; j < rects.length && drawn < MAX_MARKS; ++j, ++drawn) {
                var mark = document.createElement('div');
                mark.className = 'papelo-find-mark' + (k === found.current ? ' papelo-find-current' : '');
                mark.style.setProperty('left', rects[j].left + window.scrollX + 'px', 'important');
                mark.style.setProperty('top', rects[j].top + window.scrollY + 'px', 'important');
                mark.style.setProperty('width', rects[j].width + 'px', 'important');
                mark.style.setProperty('height', rects[j].height + 'px', 'important');
                found.layer.appendChild(mark);
            }
        }
    }

    function escapeForPattern(text) {
        return text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
    }

    function find(query) {
        found.query = typeof query === 'string' ? query : '';
        found.starts = [];
        found.current = -1;
        found.length = found.query.length;
        if (found.query !== '') {
            var text = textIndex().text, pattern;
            try {
                pattern = new RegExp(escapeForPattern(found.query), 'giu');
            } catch (e) {
                pattern = new RegExp(escapeForPattern(found.query), 'gi');
            }
            for (var m = pattern.exec(text); m; m = pattern.exec(text)) {
                found.starts.push(m.index);
                found.length = m[0].length;
            }
        }
        drawMarks();
        return found.starts.length;
    }

    window.addEventListener('scroll', function () {
        if (found.starts.length)
            drawMarks();
    }, {passive: true});

    new MutationObserver(function (records) {
        for (var i = 0; i < records.length; ++i) {
            var record = records[i];
            if (marksOnly(record))
                continue;
            blocksCache = null;
            textCache = null;
            if (record.type === 'attributes') {
                if (record.target.matches(FRAMES))
                    judgeFrame(record.target);
                else if (record.target.matches(MEDIA))
                    quiet(record.target);
                continue;
            }
            for (var j = 0; j < record.addedNodes.length; ++j)
                sweep(record.addedNodes[j]);
        }
    }).observe(document, {childList: true, subtree: true, attributes: true,
                          attributeFilter: ['src', 'srcdoc', 'data', 'autoplay', 'preload', 'controls',
                                            'controlslist']});

    document.addEventListener('click', function (event) {
        var target = event.target;
        if (event.button !== 0 || event.ctrlKey || event.shiftKey || event.altKey || event.metaKey
            || !target || target.localName !== 'img')
            return;
        if (openPicture(target))
            event.preventDefault();
    }, true);
    // The find marks' colours follow the document's dark rules: the style
    // element is there before the first measurement switches them.
    document.addEventListener('DOMContentLoaded', ensureStyle);

    document.addEventListener('keydown', function (event) {
        var target = event.target;
        if (event.key === 'Enter' && target && target.localName === 'img' && openPicture(target))
            event.preventDefault();
    }, true);

    // ---- What a screen reader is told -------------------------------------
    // The engine names the document after its title, and the styled document
    // has none: the reader passes the article's title in the document's
    // address ("title=" in its query), which becomes the title once the
    // parser is done (text only, without control or bidirectional
    // characters; a title in the body gives way). Figure captions become
    // paragraphs: Qt WebEngine 6.4 exposes them as headings without a name.
    function forScreenReaders() {
        var title = new URLSearchParams(location.search).get('title');
        document.addEventListener('DOMContentLoaded', function () {
            if (title)
                document.title = title.replace(UNSAFE_TEXT, '').trim().slice(0, 500);
            var captions = document.getElementsByTagName('figcaption');
            for (var i = 0; i < captions.length; ++i)
                if (!captions[i].hasAttribute('role'))
                    captions[i].setAttribute('role', 'paragraph');
        });
    }
    forScreenReaders();
    // ---- End of what a screen reader is told ------------------------------

    // For the reader's own scripts in this world.
    Object.defineProperty(window, 'papelo', {value: Object.freeze({
        pictures: function () {
            return pictures().map(function (img) {
                return {src: pictureAddress(img), alt: (img.getAttribute('alt') || '').slice(0, 500)};
            });
        },
        focusPicture: function (index) {
            var img = pictures()[index];
            if (img)
                img.focus({preventScroll: true});
            return !!img;
        },
        // Sets the text size (percent); what was at document position `y`
        // is at `top` afterwards, in a body `height` tall.
        textScale: function (percent, y) {
            var scale = Math.min(2, Math.max(0.8, (+percent || 100) / 100));
            var place = placeAt(+y || 0);
            if (scale !== textScale || sizeSheet) {
                textScale = scale;
                scaleSheet(scale);
            }
            if (found.starts.length)
                drawMarks();
            return {top: y > 0 ? positionOf(place.block, place.offset) : 0,
                    height: document.body ? document.body.scrollHeight : 0};
        },
        placeAt: function (y) {
            return placeAt(+y || 0);
        },
        positionOf: function (block, offset) {
            return positionOf(block, offset);
        },
        // The number of matches of `query` in the body's text, case aside.
        find: function (query) {
            return find(query);
        },
        // Match `k` becomes the current one: its document position and height.
        findShow: function (k) {
            if (!(k >= 0 && k < found.starts.length)) {
                found.current = -1;
                drawMarks();
                return null;
            }
            found.current = k;
            var r = matchRange(k).getBoundingClientRect();
            var result = {top: r.top + window.scrollY, height: r.height};
            drawMarks();
            return result;
        },
        findClear: function () {
            find('');
            if (found.layer && found.layer.parentNode)
                found.layer.parentNode.removeChild(found.layer);
            return true;
        }
    })});
})();

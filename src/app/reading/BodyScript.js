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
        '.papelo-embed-kind{font-size:13px;color:#787570;unicode-bidi:isolate}' +
        '.papelo-embed-title{font-weight:600;max-width:100%;overflow:hidden;display:-webkit-box;' +
        '-webkit-line-clamp:2;-webkit-box-orient:vertical;unicode-bidi:isolate}' +
        '.papelo-embed-open{font-size:15px;color:#0F7B6C}' +
        '@media (prefers-color-scheme: dark){' +
        '.papelo-embed{border-color:#2A2B28;background:rgba(87,184,168,.10);color:#E6E4E0}' +
        '.papelo-embed:focus-visible{outline-color:#57B8A8}' +
        '.papelo-embed-play{background:#57B8A8}' +
        '.papelo-embed-play::after{border-color:transparent transparent transparent #111210}' +
        '.papelo-embed-kind{color:#9B968F}' +
        '.papelo-embed-open{color:#57B8A8}}';
    var styled = false;
    var watched = new WeakSet();

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

    new MutationObserver(function (records) {
        for (var i = 0; i < records.length; ++i) {
            var record = records[i];
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
        }
    })});
})();

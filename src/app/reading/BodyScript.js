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
// stays). Frames with an http(s) address are left as they are.
(function () {
    'use strict';
    var FRAMES = 'iframe, frame, embed, object';

    function isWebAddress(text) {
        if (text === null || text === undefined || text.trim() === '')
            return false;
        try {
            var protocol = new URL(text, document.baseURI).protocol;
            return protocol === 'http:' || protocol === 'https:';
        } catch (e) {
            return false;
        }
    }

    function keeps(element) {
        switch (element.localName) {
        case 'iframe':
            return !element.hasAttribute('srcdoc') && isWebAddress(element.getAttribute('src'));
        case 'frame':
        case 'embed':
            return isWebAddress(element.getAttribute('src'));
        case 'object':
            return !element.hasAttribute('data') || isWebAddress(element.getAttribute('data'));
        }
        return true;
    }

    function judge(element) {
        if (element.parentNode && !keeps(element))
            element.parentNode.removeChild(element);
    }

    function sweep(node) {
        if (node.nodeType !== Node.ELEMENT_NODE)
            return;
        var found = node.querySelectorAll(FRAMES);
        for (var i = 0; i < found.length; ++i)
            judge(found[i]);
        if (node.matches(FRAMES))
            judge(node);
    }

    new MutationObserver(function (records) {
        for (var i = 0; i < records.length; ++i) {
            var record = records[i];
            if (record.type === 'attributes') {
                if (record.target.matches(FRAMES))
                    judge(record.target);
                continue;
            }
            for (var j = 0; j < record.addedNodes.length; ++j)
                sweep(record.addedNodes[j]);
        }
    }).observe(document, {childList: true, subtree: true, attributes: true,
                          attributeFilter: ['src', 'srcdoc', 'data']});
})();

// What became of each frame, embed and object (links in their place: name, address, label, text,
// size), then how each video and audio element waits for the reader; one line each.
Array.from(document.querySelectorAll('iframe, embed, object, a'), e => [e.localName, e.getAttribute('href'),
    e.getAttribute('aria-label'), e.textContent, Math.round(e.getBoundingClientRect().width), Math.round(e.getBoundingClientRect().height)].join('|'))
    .concat(Array.from(document.querySelectorAll('video, audio'), m => [m.preload, m.autoplay, m.controls,
        m.getAttribute('controlslist'), document.fullscreenEnabled].join())).join('\n')

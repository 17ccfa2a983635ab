'use strict';
// The peer a plugin author might use instead of the runner: the same plugin
// call in Node.js's vm module, over the same standard input and output lines.
// It exists to be measured beside the runner; it confines nothing.

const fs = require('fs');
const path = require('path');
const vm = require('vm');

// The runner's own fixed script texts, read from its source, so that the
// peer runs exactly what the runner runs.
const scripts = Object.fromEntries(
    [...fs.readFileSync(path.join(__dirname, '../Sources/ZovPluginHost/Scripts.h'), 'utf8')
        .matchAll(/std::string_view (\w+) =\s*R"js\(([\s\S]*?)\)js";/g)]
        .map(([, name, text]) => [name, text]));
const {prelude, suffix, invocation} = scripts;

const chunks = [];
let ended = false;

function readLine() {
    for (;;) {
        const last = chunks.length > 0 ? chunks[chunks.length - 1] : null;
        const feed = last ? last.indexOf(10) : -1;
        if (feed >= 0) {
            chunks[chunks.length - 1] = last.subarray(0, feed);
            const line = Buffer.concat(chunks).toString('utf8');
            chunks.length = 0;
            if (feed + 1 < last.length) chunks.push(last.subarray(feed + 1));
            return line.endsWith('\r') ? line.slice(0, -1) : line;
        }
        if (ended) {
            if (chunks.length === 0) return null;
            const line = Buffer.concat(chunks).toString('utf8');
            chunks.length = 0;
            return line;
        }
        const buffer = Buffer.allocUnsafe(1 << 16);
        let count = 0;
        try {
            count = fs.readSync(0, buffer, 0, buffer.length, null);
        } catch (error) {
            if (error.code === 'EAGAIN') continue;
            if (error.code !== 'EOF') throw error;
        }
        if (count === 0) ended = true;
        else chunks.push(buffer.subarray(0, count));
    }
}

function sorted(value) {
    if (typeof value !== 'object' || value === null) return value;
    return Object.fromEntries(Object.keys(value).sort().map((key) => [key, sorted(value[key])]));
}

function send(message) {
    const line = Buffer.from(JSON.stringify(sorted(message)).replace(/\//g, '\\/') + '\n');
    for (let written = 0; written < line.length;)
        written += fs.writeSync(1, line, written, line.length - written);
}

function stateOf(thrown) {
    try {
        const state = thrown !== null && thrown !== undefined ? thrown.state : undefined;
        if (typeof state !== 'object' || state === null) return {};
        const entries = Object.entries(state);
        return entries.every(([, value]) => typeof value === 'string') ? state : {};
    } catch {
        return {};
    }
}

function run() {
    const line = readLine();
    if (line === null) throw new Error('Invalid plugin invocation');
    const request = JSON.parse(line);
    if (typeof request !== 'object' || request === null || Array.isArray(request) ||
        typeof request.script !== 'string' || typeof request.method !== 'string')
        throw new Error('Invalid plugin invocation');
    const context = vm.createContext({
        __sessionFetch(text = '') {
            send({request: String(text), type: 'fetch'});
            return readLine() ?? '{"error":"Session transport closed"}';
        },
    });
    vm.runInContext(prelude + request.script + suffix, context);
    context.__method = request.method;
    context.__input = 'input' in request ? request.input : {};
    return vm.runInContext(invocation, context);
}

try {
    send({json: run(), type: 'result'});
    process.exitCode = 0;
} catch (thrown) {
    let message = 'JavaScript exception';
    try {
        message = String(thrown);
    } catch {}
    send({message, state: stateOf(thrown), type: 'error'});
    process.exitCode = 1;
}

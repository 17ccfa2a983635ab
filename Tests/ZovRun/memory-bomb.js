// Grows an array without end: only a memory limit stops it.
return {
    grow() {
        const chunks = [];
        for (let i = 0;; ++i)
            chunks.push(new Array(1 << 16).fill(i));
    },
};

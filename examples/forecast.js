// A sample plugin: asks the host for a city's forecast and sums it up.
// Try it with:
//   zov-run examples/forecast.js summary '{"city": "Berlin"}' --replies examples/forecast-replies.json

const endpoint = "https://weather.example.com/v1/forecast";

function describe(day) {
    return `${day.date}: ${day.sky}, ${day.low} to ${day.high} °C`;
}

return {
    summary(input) {
        const city = input.city || "Berlin";
        const response = zov.session.fetch(`${endpoint}?city=${encodeURIComponent(city)}`, {
            method: "GET",
            headers: {Accept: "application/json"},
        });
        if (response.status !== 200) {
            // The state reaches the host beside the message.
            const error = new Error(`No forecast for ${city}`);
            error.state = {city, status: String(response.status)};
            throw error;
        }
        const days = response.body.days;
        const warmest = days.reduce((best, day) => (day.high > best.high ? day : best));
        return {
            city: response.body.city,
            days: days.map(describe),
            warmest: warmest.date,
        };
    },
};

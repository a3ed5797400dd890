#include "HttpFetch.h"

#include <algorithm>
#include <cctype>

namespace brevane::test {

namespace {

struct Sink {
    FetchResult* result;
    std::size_t maxBody;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& sink = *static_cast<Sink*>(user);
    sink.result->body.append(data, size * count);
    if (sink.maxBody != 0 && sink.result->body.size() >= sink.maxBody) {
        return 0;  // ends the transfer with CURLE_WRITE_ERROR
    }
    return size * count;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    std::string line(data, size * count);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.pop_back();
    }
    if (!line.empty()) {
        static_cast<FetchResult*>(user)->headers.push_back(line);
    }
    return size * count;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

bool FetchResult::HasHeader(const std::string& prefix) const { return CountHeaders(prefix) > 0; }

int FetchResult::CountHeaders(const std::string& prefix) const {
    const std::string wanted = Lower(prefix);
    return static_cast<int>(std::count_if(headers.begin(), headers.end(), [&](const std::string& line) {
        return Lower(line).rfind(wanted, 0) == 0;
    }));
}

FetchResult Fetch(const std::string& url, const FetchOptions& options) {
    FetchResult result;
    CURL* curl = curl_easy_init();
    Sink sink{&result, options.maxBody};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, options.timeoutMs);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &result);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    if (!options.requestTarget.empty()) {
        curl_easy_setopt(curl, CURLOPT_REQUEST_TARGET, options.requestTarget.c_str());
    }
    if (options.auth != CURLAUTH_NONE) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, options.auth);
        curl_easy_setopt(curl, CURLOPT_USERNAME, options.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, options.password.c_str());
    }
    if (!options.method.empty()) {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, options.method.c_str());
    }
    if (!options.body.empty() || options.method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, options.body.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(options.body.size()));
    }
    result.code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    curl_easy_cleanup(curl);
    return result;
}

}  // namespace brevane::test
